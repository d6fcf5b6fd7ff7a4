#include "kernel/waitable.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "kernel/thread.h"

namespace ce {

struct WaitBlock {
    std::atomic<uint32_t> woken{0};  // the futex word: 1 once the waker is done with the block
    int satisfiedIndex = -1;         // guarded by KernelLock()
};

namespace {

// Satisfied waiters of the current KernelSection, woken when it ends.
thread_local std::vector<WaitBlock*> tPendingWakes;

void FutexWake(std::atomic<uint32_t>* word) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// Sleeps while *word is 0, at most until the deadline (none when null). Answers whether the word became 1.
bool FutexWaitUntil(std::atomic<uint32_t>* word, const std::chrono::steady_clock::time_point* deadline) {
    while (word->load(std::memory_order_acquire) == 0) {
        timespec relative{};
        timespec* timeout = nullptr;
        if (deadline != nullptr) {
            const auto left = *deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) {
                return false;
            }
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            relative.tv_sec = static_cast<time_t>(ns / 1000000000);
            relative.tv_nsec = static_cast<long>(ns % 1000000000);
            timeout = &relative;
        }
        syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_PRIVATE, 0, timeout, nullptr, 0);
    }
    return true;
}

}  // namespace

std::mutex& KernelLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

KernelSection::KernelSection() {
    KernelLock().lock();
}

KernelSection::~KernelSection() {
    KernelLock().unlock();
    // The waiter does not leave before `woken` is 1, so the block is alive up to that store; the wake after
    // it may reach a block already gone, which only costs a spurious wake-up of whatever waits there now.
    for (WaitBlock* block : tPendingWakes) {
        block->woken.store(1, std::memory_order_release);
        FutexWake(&block->woken);
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
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
