// Memory the platform knows to be there, so that CeSafeCopyMemory can copy it without asking the kernel:
// the calling thread's own stack above its current frame, LocalAlloc's live blocks, and buffers the platform
// lends a driver for one call (the device host's copies of a program's buffers, which the program side has
// already checked).
//
// Asking the kernel costs a system call that also walks the page tables, several microseconds on a virtual
// machine, and a driver copies on every read and write. Anything else (a program's own heap, a pointer
// from elsewhere) is not known here and still goes to the kernel, so a bad pointer fails as before.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ce {

// While it lives, [start, start + size) is known to be there. The owner must keep the memory for that long.
// Lending a range that another lent range or live block starts at lends nothing (the copy then asks the
// kernel, as for any other memory).
class LentMemory {
  public:
    LentMemory(const void* start, size_t size);
    ~LentMemory();
    LentMemory(const LentMemory&) = delete;
    LentMemory& operator=(const LentMemory&) = delete;

  private:
    uintptr_t start_ = 0;  // 0 when nothing was lent
};

// LocalAlloc's blocks. ForgetBlock answers false for a pointer that is not a live block's start; it waits
// for copies out of or into the block that are under way.
bool RememberBlock(void* block, size_t size);
bool ForgetBlock(void* block);

// Whether all of [start, start + size) is known to be there now (and so can be written and read).
bool IsKnownMemory(const void* start, size_t size);

// Copies size bytes when both ranges are known to be there; false, copying nothing, when either is not.
bool CopyKnownMemory(void* to, const void* from, size_t size);

}  // namespace ce
