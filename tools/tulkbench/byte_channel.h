// A two-ended byte channel under test: a pair of virtual serial ports, or a Linux channel beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class ByteEnd {
  public:
    virtual ~ByteEnd() = default;
    // Writes everything; false on failure.
    virtual bool WriteAll(const uint8_t* data, size_t size) = 0;
    // Reads at least one byte (blocking), at most `size`; 0 on failure or end.
    virtual size_t ReadSome(uint8_t* data, size_t size) = 0;
};

struct ByteChannel {
    std::string name;
    std::unique_ptr<ByteEnd> a;
    std::unique_ptr<ByteEnd> b;
};
