// LocalAlloc and LocalFree. Blocks are tracked so that freeing a pointer LocalAlloc never gave (or gave and
// took back) answers ERROR_INVALID_HANDLE instead of corrupting the heap.
#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_set>

#include "kernel/faults.h"

namespace {

struct Blocks {
    std::mutex lock;
    std::unordered_set<void*> live;
};

Blocks& LiveBlocks() {
    static Blocks* blocks = new Blocks;
    return *blocks;
}

}  // namespace

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
    try {
        Blocks& blocks = LiveBlocks();
        std::lock_guard<std::mutex> guard(blocks.lock);
        blocks.live.insert(block);
    } catch (const std::bad_alloc&) {
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
    Blocks& blocks = LiveBlocks();
    {
        std::lock_guard<std::mutex> guard(blocks.lock);
        if (blocks.live.erase(hMem) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return hMem;
        }
    }
    std::free(hMem);
    return nullptr;
}

}  // extern "C"
