// The traffic of a measurement and the work of the channel's far end: patterned bytes one way or both,
// and an echo of fixed-size messages for round trips. Every byte is checked where it arrives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "byte_channel.h"

// The byte at a stream offset: a pattern with no short period, so a lost or repeated piece shows.
inline uint8_t PatternByte(uint64_t offset) {
    return static_cast<uint8_t>((offset * 2654435761u) >> 13 ^ (offset >> 9));
}

bool WritePattern(ByteEnd* end, uint64_t total);
bool ReadPattern(ByteEnd* end, uint64_t total);

// What the far end does while the near end measures.
struct Task {
    enum Kind { Read, ReadAndWrite, Echo } kind = Read;
    uint64_t bytes = 0;  // Read, ReadAndWrite: the stream's length each way
    size_t size = 0;     // Echo: the message's
    int rounds = 0;      // Echo: how many messages

    // As one line of text, for a far end in another process, and back.
    std::string Text() const;
    static bool Parse(const std::string& text, Task* task);
};

// Runs a task on end; true when every byte was as expected.
bool RunTask(ByteEnd* end, const Task& task);

// The far end of a channel: it runs a task while the near end measures.
class FarEnd {
  public:
    virtual ~FarEnd() = default;
    virtual bool Start(const Task& task) = 0;
    // Waits for the task's end; true when it went well. *cpuMs gets the CPU time the far end spent when it
    // is another process (this process's own clock counts it otherwise).
    virtual bool Finish(double* cpuMs) = 0;
};

// A far end served by a thread of this process.
std::unique_ptr<FarEnd> ThreadFarEnd(ByteEnd* end);
