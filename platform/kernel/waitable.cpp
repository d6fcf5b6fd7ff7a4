#include "kernel/waitable.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "kernel/adaptive_spin.h"
#include "kernel/thread.h"

namespace ce {

// The states of a wait block's futex word.
enum WakeState : uint32_t {
    kWaiting = 0,   // the waiter is awake (spinning or about to sleep)
    kWoken = 1,     // the waker is done with the block
    kSleeping = 2,  // the waiter sleeps or is about to: the waker must wake it
};

struct WaitBlock {
    std::atomic<uint32_t> woken{kWaiting};  // the futex word
    int satisfiedIndex = -1;                // guarded by KernelLock()
};

namespace {

// Satisfied waiters of the current KernelSection, woken when it ends.
thread_local std::vector<WaitBlock*> tPendingWakes;

using Clock = std::chrono::steady_clock;

// Marks the block woken; only a waiter that went to sleep costs a system call.
void Wake(std::atomic<uint32_t>* word) {
    if (word->exchange(kWoken, std::memory_order_acq_rel) == kSleeping) {
        syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    }
}

// Waits while the block is not woken, at most until the deadline (none when null). Answers whether it was.
bool FutexWaitUntil(std::atomic<uint32_t>* word, const Clock::time_point* deadline) {
    thread_local AdaptiveSpin spinner;
    const auto woken = [word] { return word->load(std::memory_order_acquire) == kWoken; };
    if (woken() || spinner.Spin(woken, deadline != nullptr ? *deadline : Clock::time_point::max())) {
        return true;
    }
    uint32_t expected = kWaiting;
    if (!word->compare_exchange_strong(expected, kSleeping, std::memory_order_acq_rel) &&
        expected == kWoken) {
        return true;
    }
    while (word->load(std::memory_order_acquire) != kWoken) {
        timespec relative{};
        timespec* timeout = nullptr;
        if (deadline != nullptr) {
            const auto left = *deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                return false;
            }
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            relative.tv_sec = static_cast<time_t>(ns / 1000000000);
            relative.tv_nsec = static_cast<long>(ns % 1000000000);
            timeout = &relative;
        }
        syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_PRIVATE, kSleeping, timeout, nullptr,
                0);
    }
    return true;
}

}  // namespace

std::mutex& KernelLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

KernelSection::KernelSection() {
    LockSpinningFirst(KernelLock());
}

KernelSection::~KernelSection() {
    KernelLock().unlock();
    // The waiter does not leave before `woken` says woken, so the block is alive up to that store; the wake
    // after it may reach a block already gone, which only costs a spurious wake-up of whatever waits there
    // now.
    for (WaitBlock* block : tPendingWakes) {
        Wake(&block->woken);
    }
    tPendingWakes.clear();
}

size_t Waitable::SatisfyWaitersLocked(bool all) {
    size_t satisfied = 0;
    for (const Entry& entry : waiters_) {
        if (entry.block->satisfiedIndex >= 0) {
            continue;  // already satisfied through another object of the same wait
        }
        entry.block->satisfiedIndex = static_cast<int>(entry.index);
        tPendingWakes.push_back(entry.block);
        ++satisfied;
        if (!all) {
            break;
        }
    }
    return satisfied;
}

void Waitable::RemoveWaiterLocked(WaitBlock* block) {
    auto found =
        std::find_if(waiters_.begin(), waiters_.end(), [&](const Entry& e) { return e.block == block; });
    if (found != waiters_.end()) {
        waiters_.erase(found);
    }
}

DWORD WaitForObjects(Waitable* const* objects, DWORD count, DWORD milliseconds) {
    WaitBlock block;
    {
        KernelSection section;
        for (DWORD i = 0; i < count; ++i) {
            if (objects[i]->IsSignaledLocked()) {
                objects[i]->AcquireLocked();
                return WAIT_OBJECT_0 + i;
            }
        }
        if (milliseconds == 0) {
            return WAIT_TIMEOUT;
        }
        for (DWORD i = 0; i < count; ++i) {
            objects[i]->waiters_.push_back({&block, i});
        }
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    FutexWaitUntil(&block.woken, milliseconds == INFINITE ? nullptr : &deadline);

    bool satisfied;
    {
        KernelSection section;
        for (DWORD i = 0; i < count; ++i) {
            objects[i]->RemoveWaiterLocked(&block);
        }
        satisfied = block.satisfiedIndex >= 0;
    }
    if (satisfied) {
        // A signal that came with the timeout still counts: the signaler already handed it over. Its waker
        // touches the block until it marks it woken, so stay until then.
        FutexWaitUntil(&block.woken, nullptr);
        return WAIT_OBJECT_0 + static_cast<DWORD>(block.satisfiedIndex);
    }
    return WAIT_TIMEOUT;
}

BOOL Waitable::Close(HANDLE handle) {
    if (RemoveHandle(handle, type())) {
        return TRUE;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

std::shared_ptr<Waitable> LookupWaitable(HANDLE handle) {
    if (handle == GetCurrentThread()) {
        return CurrentThreadObject();
    }
    ObjectType type;
    if (!HandleType(handle, &type) || (type != ObjectType::Event && type != ObjectType::Thread)) {
        return nullptr;
    }
    return Lookup<Waitable>(handle, type);
}

}  // namespace ce

extern "C" {

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                    DWORD dwMilliseconds) {
    // The device knows no wait-for-all.
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr || bWaitAll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::shared_ptr<ce::Waitable> held[MAXIMUM_WAIT_OBJECTS];
    ce::Waitable* objects[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < nCount; ++i) {
        held[i] = ce::LookupWaitable(lpHandles[i]);
        if (!held[i]) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects[i] = held[i].get();
    }
    return ce::WaitForObjects(objects, nCount, dwMilliseconds);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    std::shared_ptr<ce::Waitable> object = ce::LookupWaitable(hHandle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    ce::Waitable* objects[1] = {object.get()};
    return ce::WaitForObjects(objects, 1, dwMilliseconds);
}

}  // extern "C"
