// Ranked locks: critical sections that, with the checks on, prove on every acquisition that the thread takes
// its locks in the written order.
#include "core/lock_order.h"

#include <cstdio>
#include <cstdlib>

namespace {

#if TULK_LOCK_CHECKS

// Deeper nesting than this is a fault of its own: no path of the driver holds more than a handful of locks.
constexpr int kMaxHeldLocks = 32;

// The locks this thread holds, in the order taken; a re-entered lock appears once per entry.
struct HeldLocks {
    const RankedLock* locks[kMaxHeldLocks];
    int count = 0;
};

thread_local HeldLocks held;

[[noreturn]] void ReportViolation(const RankedLock* taking, const RankedLock* holding) {
    std::fprintf(stderr, "lock order: taking %s(%d) while holding %s(%d)\n", taking->name,
                 static_cast<int>(taking->rank), holding->name, static_cast<int>(holding->rank));
    std::fflush(stderr);
    std::abort();
}

bool IsHeld(const RankedLock* lock) {
    for (int i = 0; i < held.count; ++i) {
        if (held.locks[i] == lock) {
            return true;
        }
    }
    return false;
}

// Checked before waiting for the lock, so a wrong order is reported even on the run that would deadlock.
void CheckOrder(const RankedLock* lock) {
    if (IsHeld(lock)) {
        return;  // re-entry of a recursive critical section
    }
    for (int i = 0; i < held.count; ++i) {
        if (held.locks[i]->rank >= lock->rank) {
            ReportViolation(lock, held.locks[i]);
        }
    }
}

void NoteTaken(const RankedLock* lock) {
    if (held.count == kMaxHeldLocks) {
        std::fprintf(stderr, "lock order: more than %d locks held while taking %s(%d)\n", kMaxHeldLocks,
                     lock->name, static_cast<int>(lock->rank));
        std::fflush(stderr);
        std::abort();
    }
    held.locks[held.count++] = lock;
}

// Guards may leave early (LockGuard::Unlock), so a lock need not be the last one taken.
void NoteReleased(const RankedLock* lock) {
    for (int i = held.count - 1; i >= 0; --i) {
        if (held.locks[i] == lock) {
            for (int j = i; j + 1 < held.count; ++j) {
                held.locks[j] = held.locks[j + 1];
            }
            --held.count;
            return;
        }
    }
    std::fprintf(stderr, "lock order: releasing %s(%d), which this thread does not hold\n", lock->name,
                 static_cast<int>(lock->rank));
    std::fflush(stderr);
    std::abort();
}

[[noreturn]] void ReportBrokenContract(const char* what, const RankedLock* lock) {
    std::fprintf(stderr, "lock order: %s %s(%d)\n", what, lock->name, static_cast<int>(lock->rank));
    std::fflush(stderr);
    std::abort();
}

#endif  // TULK_LOCK_CHECKS

}  // namespace

void InitRankedLock(RankedLock* lock, LockRank rank, const char* name) {
    InitializeCriticalSection(&lock->section);
    lock->rank = rank;
    lock->name = name;
}

void DeleteRankedLock(RankedLock* lock) {
    DeleteCriticalSection(&lock->section);
}

void AcquireRankedLock(RankedLock* lock) {
#if TULK_LOCK_CHECKS
    CheckOrder(lock);
#endif
    EnterCriticalSection(&lock->section);
#if TULK_LOCK_CHECKS
    NoteTaken(lock);
#endif
}

void ReleaseRankedLock(RankedLock* lock) {
#if TULK_LOCK_CHECKS
    NoteReleased(lock);
#endif
    LeaveCriticalSection(&lock->section);
}

void AssertLockHeld([[maybe_unused]] const RankedLock* lock) {
#if TULK_LOCK_CHECKS
    if (!IsHeld(lock)) {
        ReportBrokenContract("the call needs", lock);
    }
#endif
}

void AssertNoLockFrom([[maybe_unused]] LockRank rank) {
#if TULK_LOCK_CHECKS
    for (int i = 0; i < held.count; ++i) {
        if (held.locks[i]->rank >= rank) {
            ReportBrokenContract("the call may not be made holding", held.locks[i]);
        }
    }
#endif
}

void FailContract(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "contract broken at %s:%d: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}
