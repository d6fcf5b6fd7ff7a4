#include "kernel/known_memory.h"

#include <pthread.h>

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <shared_mutex>

namespace ce {
namespace {

struct Range {
    uintptr_t end;
    bool block;  // a LocalAlloc block, rather than lent memory
};

// Live blocks and lent ranges by their start. They are separate allocations and never overlap. Copies hold
// the lock shared while they copy, so a block is not freed (nor lent memory given back) under a copy.
struct Ranges {
    std::shared_mutex lock;
    std::map<uintptr_t, Range> byStart;  // lock
};

Ranges& KnownRanges() {
    static Ranges* ranges = new Ranges;
    return *ranges;
}

// Whether [start, end) lies inside one known range. Caller holds the lock.
bool InKnownRange(const Ranges& ranges, uintptr_t start, uintptr_t end) {
    auto next = ranges.byStart.upper_bound(start);
    if (next == ranges.byStart.begin()) {
        return false;
    }
    const auto& [rangeStart, range] = *std::prev(next);
    return rangeStart <= start && end <= range.end;
}

// The calling thread's stack: [low, top). Both 0 where the thread's stack cannot be told.
struct Stack {
    uintptr_t low = 0;
    uintptr_t top = 0;
};

Stack TakeStack() {
    Stack stack;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) {
        return stack;
    }
    void* low = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
        stack.low = reinterpret_cast<uintptr_t>(low);
        stack.top = stack.low + size;
    }
    pthread_attr_destroy(&attributes);
    return stack;
}

// Whether [start, end) lies in the calling thread's stack between the current frame and the top: memory
// the thread is running on, so it is there. A thread on another stack (a signal stack, a fiber's) knows none.
[[gnu::noinline]] bool OnOwnStack(uintptr_t start, uintptr_t end) {
    thread_local const Stack stack = TakeStack();
    const auto frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    return stack.low <= frame && frame < stack.top && frame <= start && end <= stack.top;
}

// Whether [start, start + size) is on the calling thread's stack or inside one known range, and the range
// does not wrap. Caller holds the lock, shared at least.
bool KnownWhileLocked(const Ranges& ranges, const void* start, size_t size) {
    const auto first = reinterpret_cast<uintptr_t>(start);
    if (start == nullptr || size > UINTPTR_MAX - first) {
        return false;
    }
    return OnOwnStack(first, first + size) || InKnownRange(ranges, first, first + size);
}

}  // namespace

LentMemory::LentMemory(const void* start, size_t size) {
    const auto first = reinterpret_cast<uintptr_t>(start);
    if (start == nullptr || size == 0 || size > UINTPTR_MAX - first) {
        return;
    }
    Ranges& ranges = KnownRanges();
    try {
        std::unique_lock<std::shared_mutex> guard(ranges.lock);
        if (ranges.byStart.try_emplace(first, Range{first + size, false}).second) {
            start_ = first;
        }
    } catch (const std::bad_alloc&) {
        // Not lent: copies of it ask the kernel.
    }
}

LentMemory::~LentMemory() {
    if (start_ != 0) {
        Ranges& ranges = KnownRanges();
        std::unique_lock<std::shared_mutex> guard(ranges.lock);
        ranges.byStart.erase(start_);
    }
}

bool RememberBlock(void* block, size_t size) {
    const auto first = reinterpret_cast<uintptr_t>(block);
    Ranges& ranges = KnownRanges();
    try {
        std::unique_lock<std::shared_mutex> guard(ranges.lock);
        // The allocator gives no live block's start twice, and lent memory is never LocalAlloc's.
        ranges.byStart.insert_or_assign(first, Range{first + size, true});
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ForgetBlock(void* block) {
    Ranges& ranges = KnownRanges();
    std::unique_lock<std::shared_mutex> guard(ranges.lock);
    const auto found = ranges.byStart.find(reinterpret_cast<uintptr_t>(block));
    if (found == ranges.byStart.end() || !found->second.block) {
        return false;
    }
    ranges.byStart.erase(found);
    return true;
}

bool IsKnownMemory(const void* start, size_t size) {
    Ranges& ranges = KnownRanges();
    std::shared_lock<std::shared_mutex> guard(ranges.lock);
    return KnownWhileLocked(ranges, start, size);
}

// The lock is held across the copy, so neither side is given back or freed under it.
bool CopyKnownMemory(void* to, const void* from, size_t size) {
    Ranges& ranges = KnownRanges();
    std::shared_lock<std::shared_mutex> guard(ranges.lock);
    if (!KnownWhileLocked(ranges, to, size) || !KnownWhileLocked(ranges, from, size)) {
        return false;
    }
    std::memmove(to, from, size);
    return true;
}

}  // namespace ce
