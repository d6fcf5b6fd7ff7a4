#include "kernel/waitable.h"

#include <algorithm>
#include <chrono>

#include "kernel/thread.h"

namespace ce {

struct WaitBlock {
    std::condition_variable wake;
    int satisfiedIndex = -1;
};

std::mutex& KernelLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

size_t Waitable::SatisfyWaitersLocked(bool all) {
    size_t satisfied = 0;
    for (const Entry& entry : waiters_) {
        if (entry.block->satisfiedIndex >= 0) {
            continue;  // already woken through another object of the same wait
        }
        entry.block->satisfiedIndex = static_cast<int>(entry.index);
        entry.block->wake.notify_one();
        ++satisfied;
        if (!all) {
            break;
        }
    }
    return satisfied;
}

DWORD WaitForObjects(Waitable* const* objects, DWORD count, DWORD milliseconds) {
    std::unique_lock<std::mutex> lock(KernelLock());
    for (DWORD i = 0; i < count; ++i) {
        if (objects[i]->IsSignaledLocked()) {
            objects[i]->AcquireLocked();
            return WAIT_OBJECT_0 + i;
        }
    }
    if (milliseconds == 0) {
        return WAIT_TIMEOUT;
    }

    WaitBlock block;
    for (DWORD i = 0; i < count; ++i) {
        objects[i]->waiters_.push_back({&block, i});
    }
    auto satisfied = [&block] { return block.satisfiedIndex >= 0; };
    if (milliseconds == INFINITE) {
        block.wake.wait(lock, satisfied);
    } else {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        block.wake.wait_until(lock, deadline, satisfied);
    }
    for (DWORD i = 0; i < count; ++i) {
        auto& list = objects[i]->waiters_;
        list.erase(std::find_if(list.begin(), list.end(),
                                [&](const Waitable::Entry& e) { return e.block == &block; }));
    }
    // A signal that arrived together with the timeout still counts: the signaler already handed it over.
    return block.satisfiedIndex >= 0 ? WAIT_OBJECT_0 + static_cast<DWORD>(block.satisfiedIndex)
                                     : WAIT_TIMEOUT;
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
