// LocalAlloc and LocalFree. Blocks are tracked (known_memory.h) so that freeing a pointer LocalAlloc never
// gave (or gave and took back) answers ERROR_INVALID_HANDLE instead of corrupting the heap, and so that a
// driver's safe copies into and out of its blocks need not ask the kernel.
#include <cstdlib>

#include "kernel/faults.h"
#include "kernel/known_memory.h"

extern "C" {

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    if ((uFlags & ~(LMEM_ZEROINIT)) != LMEM_FIXED) {
        SetLastError(ERROR_INVALID_PARAMETER);  // only fixed blocks exist here
        return nullptr;
    }
    DWORD error;
    if (ce::FaultFires(ce::FaultPoint::LocalAlloc, &error)) {
        SetLastError(error);
        return nullptr;
    }
    const size_t size = uBytes == 0 ? 1 : uBytes;
    void* block = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, size) : std::malloc(size);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!ce::RememberBlock(block, size)) {
        std::free(block);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    if (hMem == nullptr) {
        return nullptr;
    }
    if (!ce::ForgetBlock(hMem)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    std::free(hMem);
    return nullptr;
}

}  // extern "C"
