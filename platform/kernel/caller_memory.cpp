#include "kernel/caller_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "kernel/known_memory.h"

namespace ce {

bool ProvenWritable(void* buffer, size_t size) {
    if (size == 0) {
        return true;
    }
    if (buffer == nullptr) {
        return false;
    }
    // A buffer on the caller's own stack, a LocalAlloc block: nothing to ask the kernel.
    if (IsKnownMemory(buffer, size)) {
        return true;
    }
    // Faulting the pages in for writing proves the whole range in one call that walks the page tables,
    // without copying the range (a copy onto itself through the kernel costs twice as much for a 64 KiB
    // read buffer) and without writing a byte. Only its two plain refusals are taken as an answer; kernels
    // before 5.14 and special mappings answer EINVAL, and then, as for anything else, a copy onto itself
    // decides.
#ifdef MADV_POPULATE_WRITE
    static const uintptr_t kPageBytes = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t first = reinterpret_cast<uintptr_t>(buffer);
    if (size > UINTPTR_MAX - first) {
        return false;
    }
    const uintptr_t start = first & ~(kPageBytes - 1);
    if (madvise(reinterpret_cast<void*>(start), first + size - start, MADV_POPULATE_WRITE) == 0) {
        return true;
    }
    if (errno == ENOMEM || errno == EFAULT) {
        return false;  // not mapped, or not writable
    }
#endif
    return SafeCopy(buffer, buffer, size);
}

}  // namespace ce
