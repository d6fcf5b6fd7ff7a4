#include "driver/stress/stress_records.h"

namespace stress {
namespace {

constexpr uint8_t kMarker = 0x80;
constexpr uint8_t kDigit = 0x20;
constexpr uint8_t kDigitMask = 0x3F;
constexpr int kDigitBits = 6;
constexpr int kNumberDigits = 5;  // the marker's and four more
constexpr uint32_t kCheckMask = 0x3FFFF;

uint32_t Check(uint32_t number) {
    uint32_t mixed = number * 2654435761u;
    mixed ^= mixed >> 15;
    return (mixed * 2246822519u >> 7) & kCheckMask;
}

bool IsMarker(uint8_t byte) {
    return (byte & 0xC0) == kMarker;
}

bool IsDigit(uint8_t byte) {
    return byte >= kDigit && byte <= kDigit + kDigitMask;
}

}  // namespace

uint8_t StreamByte(uint64_t offset) {
    const auto number = static_cast<uint32_t>(offset / kRecordBytes);
    const auto at = static_cast<int>(offset % kRecordBytes);
    if (at < kNumberDigits) {
        const uint8_t digit = (number >> (kDigitBits * (kNumberDigits - 1 - at))) & kDigitMask;
        return static_cast<uint8_t>(at == 0 ? kMarker | digit : kDigit + digit);
    }
    const int checkDigit = at - kNumberDigits;
    return static_cast<uint8_t>(kDigit + ((Check(number) >> (kDigitBits * (2 - checkDigit))) & kDigitMask));
}

void RecordReader::Take(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        if (byte == kXon || byte == kXoff) {
            continue;
        }
        if (IsMarker(byte)) {
            pending_[0] = byte;
            have_ = 1;  // a record cut short before it is dropped
            continue;
        }
        if (have_ == 0 || !IsDigit(byte)) {
            have_ = 0;  // the tail of a cut record
            continue;
        }
        pending_[have_++] = byte;
        if (have_ < kRecordBytes) {
            continue;
        }
        have_ = 0;
        uint32_t number = 0;
        uint32_t check = 0;
        for (size_t at = 0; at < kRecordBytes; ++at) {
            const uint32_t digit = at == 0 ? pending_[at] & kDigitMask : pending_[at] - kDigit;
            if (at < kNumberDigits) {
                number = number << kDigitBits | digit;
            } else {
                check = check << kDigitBits | digit;
            }
        }
        if (check == Check(number)) {
            Record(number);
        }
    }
}

void RecordReader::Record(uint32_t number) {
    if (records_ != 0 && number < next_) {
        disordered_ = true;
    }
    const bool unbroken = number == next_;
    if (!unbroken) {
        inFirstRun_ = false;
        lastRunStart_ = number;
    }
    next_ = number + 1;
    if (inFirstRun_) {
        firstRunEnd_ = next_;
    }
    ++records_;
}

}  // namespace stress
