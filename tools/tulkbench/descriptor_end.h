// One end of a Linux channel (a socket, a terminal) as a ByteEnd, and a far end served by a second program
// on such a descriptor. POSIX side only.
#pragma once

#include <memory>

#include "byte_channel.h"
#include "traffic.h"

// Owns the descriptor: it is closed with the end.
class DescriptorEnd : public ByteEnd {
  public:
    explicit DescriptorEnd(int descriptor) : descriptor_(descriptor) {}
    ~DescriptorEnd() override;
    DescriptorEnd(const DescriptorEnd&) = delete;
    DescriptorEnd& operator=(const DescriptorEnd&) = delete;

    bool WriteAll(const uint8_t* data, size_t size) override;
    size_t ReadSome(uint8_t* data, size_t size) override;

  private:
    int descriptor_;
};

// Starts this program again as the far end on the descriptor, which this program then closes, so that the
// far end is the only one to hold it; nullptr when the program could not start.
std::unique_ptr<FarEnd> DescriptorFarEnd(int descriptor);
