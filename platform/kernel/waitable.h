// Objects a thread can wait on (events, threads) and the wait itself.
//
// All waitable state lives under one kernel lock, as in a small kernel: it makes WaitForMultipleObjects,
// PulseEvent ("release exactly the threads waiting now") and auto-reset hand-over exact without per-object
// lock ordering. Every wait call parks on its own futex word; a signal picks the waiters it satisfies in
// arrival order under the lock and wakes only those, after the lock is released, so a woken thread never
// runs straight into the lock its waker still holds.
#pragma once

#include <mutex>
#include <vector>

#include "kernel/handle_table.h"

namespace ce {

std::mutex& KernelLock();

struct WaitBlock;

// Holds KernelLock() for a scope; the waiters satisfied meanwhile are woken when it ends, after the unlock.
class KernelSection {
  public:
    KernelSection();
    ~KernelSection();
    KernelSection(const KernelSection&) = delete;
    KernelSection& operator=(const KernelSection&) = delete;
};

class Waitable : public KernelObject {
  public:
    using KernelObject::KernelObject;

    // Both called with KernelLock() held.
    virtual bool IsSignaledLocked() const = 0;
    // Takes the signal for a satisfied wait (an auto-reset event clears itself).
    virtual void AcquireLocked() {}

    // A thread keeps running and an event keeps its waiters; only this handle goes.
    BOOL Close(HANDLE handle) override;

  protected:
    // Satisfies waiters in arrival order: the first one, or all of them. Answers how many. Called inside a
    // KernelSection, which wakes them when it ends.
    size_t SatisfyWaitersLocked(bool all);

  private:
    friend DWORD WaitForObjects(Waitable* const* objects, DWORD count, DWORD milliseconds);
    void RemoveWaiterLocked(WaitBlock* block);

    struct Entry {
        WaitBlock* block;
        DWORD index;
    };
    std::vector<Entry> waiters_;  // guarded by KernelLock()
};

// Waits until one object is signaled (answers WAIT_OBJECT_0 + its index) or the time is up (WAIT_TIMEOUT).
DWORD WaitForObjects(Waitable* const* objects, DWORD count, DWORD milliseconds);

// The waitable object behind a handle (an event or a thread, pseudo handle included), or nullptr.
std::shared_ptr<Waitable> LookupWaitable(HANDLE handle);

}  // namespace ce
