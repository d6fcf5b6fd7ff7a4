// Ranked locks of the driver. Every lock has a rank; a thread may take a lock only when its rank is above
// every lock it already holds (re-entering a lock it holds is allowed: critical sections are recursive).
// Builds with lock checks on (debug and sanitizer builds) assert this on every acquisition and print both
// locks by name, so an ordering mistake shows on the first run that takes the path, not on the rare run
// that deadlocks.
//
// Order, first taken to last:
//   kRankTransmit   PortState::TransmitLock   one writer of a port at a time, for a whole write
//   kRankReceive    PortState::ReceiveLock    one reader of a port at a time, for a whole read
//   kRankOpen       PortState::OpenLock       opens, closes and process-exit releases of a port
//   kRankTx         PortState::TxLock         the write in progress
//   kRankRx         PortState::RxLock         the receive ring indices
//   kRankFlow       PortState::FlowLock       receive flow control: a stop or release flag with its line
//   kRankVpTransmit VirtualPort::transmitLock deliveries and immediate characters of a port
//   kRankVpRegister VirtualPort::registerLock status bytes and settings of a port
//   kRankList       PortState::ListLock       the links of the handle list (short; walkers never wait
//                                             on OpenLock)
//   kRankEvent      OpenContext::EventLock    one handle's event mask and flags
//   kRankLeaf       leaf locks that are held only to copy a few fields (settings snapshots, the port table,
//                   a port's queue of immediate characters, the set of live handles); nothing is taken
//                   while one is held
// No thread holds locks of two different ports at once, with one exception: a writer that runs its
// partner's service pass inline holds its own port's TransmitLock meanwhile. Nothing waits for a
// TransmitLock but another writer of that port, and a pass waits for nothing, so no cycle can form.
#pragma once

#include <windows.h>

enum LockRank : int {
    kRankTransmit = 10,
    kRankReceive = 20,
    kRankOpen = 30,
    kRankTx = 40,
    kRankRx = 50,
    kRankFlow = 55,
    kRankVpTransmit = 60,
    kRankVpRegister = 70,
    kRankList = 80,
    kRankEvent = 90,
    kRankLeaf = 100,
};

// A build may force the checks on or off (the lock order's own test forces them on).
#ifndef TULK_LOCK_CHECKS
#if !defined(NDEBUG) || defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define TULK_LOCK_CHECKS 1
#else
#define TULK_LOCK_CHECKS 0
#endif
#endif

// A critical section with a rank and a name for the checks.
struct RankedLock {
    CRITICAL_SECTION section;
    LockRank rank;
    const char* name;
};

void InitRankedLock(RankedLock* lock, LockRank rank, const char* name);
void DeleteRankedLock(RankedLock* lock);
void AcquireRankedLock(RankedLock* lock);
void ReleaseRankedLock(RankedLock* lock);

// Contracts of calls, checked with the lock checks on (nothing otherwise): the calling thread holds `lock`;
// it holds no lock ranked at or above `rank` (so the callee may take such locks, or wait).
void AssertLockHeld(const RankedLock* lock);
void AssertNoLockFrom(LockRank rank);
// Any other condition a call's contract states; stops the program naming it where it does not hold.
[[noreturn]] void FailContract(const char* condition, const char* file, int line);
#if TULK_LOCK_CHECKS
#define TULK_EXPECT(condition) ((condition) ? void(0) : FailContract(#condition, __FILE__, __LINE__))
#else
#define TULK_EXPECT(condition) void(0)
#endif

// RAII guard for a ranked lock.
class LockGuard {
  public:
    explicit LockGuard(RankedLock& lock) : lock_(&lock) { AcquireRankedLock(lock_); }
    ~LockGuard() {
        if (lock_ != nullptr) {
            ReleaseRankedLock(lock_);
        }
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
    // Leaves the lock early; the guard then does nothing.
    void Unlock() {
        ReleaseRankedLock(lock_);
        lock_ = nullptr;
    }

  private:
    RankedLock* lock_;
};
