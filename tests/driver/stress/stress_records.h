// The byte stream of the stress run across programs: numbered records that survive being cut.
//
// A record is 8 bytes: a marker byte (0x80..0xBF), four digits (0x20..0x5F) of its 30-bit number and three
// digits of a check. A purge or a close may cut a record anywhere; the reader drops what does not make a
// whole record with a good check and goes on at the next marker. No byte of the stream is 0x00, XON or
// XOFF, so flow-control characters that cross the other way, or that a program sends on purpose, can be
// told apart and skipped.
#pragma once

#include <cstddef>
#include <cstdint>

namespace stress {

inline constexpr size_t kRecordBytes = 8;
inline constexpr uint8_t kXon = 0x11;
inline constexpr uint8_t kXoff = 0x13;

// The byte at a stream offset.
uint8_t StreamByte(uint64_t offset);

// Follows the records as bytes arrive, keeping what the run's checks need.
class RecordReader {
  public:
    void Take(const uint8_t* bytes, size_t count);

    uint64_t records() const { return records_; }
    // The next number after the unbroken run that started at record 0 (0 when record 0 never came).
    uint32_t firstRunEnd() const { return firstRunEnd_; }
    // The first number of the unbroken run that ends with the last record.
    uint32_t lastRunStart() const { return lastRunStart_; }
    // One past the last record's number; 0 before any.
    uint32_t next() const { return next_; }
    // A record came whose number was not above the one before.
    bool disordered() const { return disordered_; }

  private:
    void Record(uint32_t number);

    uint8_t pending_[kRecordBytes] = {};
    size_t have_ = 0;
    uint64_t records_ = 0;
    bool inFirstRun_ = true;
    uint32_t firstRunEnd_ = 0;
    uint32_t lastRunStart_ = 0;
    uint32_t next_ = 0;
    bool disordered_ = false;
};

}  // namespace stress
