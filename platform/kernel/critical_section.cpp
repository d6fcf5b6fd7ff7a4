// Recursive critical sections. The lock lives inside the caller's CRITICAL_SECTION, so initialising one
// cannot fail, as on the device.
#include <atomic>
#include <cassert>
#include <mutex>
#include <new>

#include <windows.h>

#include "kernel/adaptive_spin.h"

namespace {

struct CriticalSectionImpl {
    std::mutex mutex;
};

static_assert(sizeof(CriticalSectionImpl) <= sizeof(CRITICAL_SECTION::Storage),
              "lock fits in CRITICAL_SECTION");
static_assert(alignof(CriticalSectionImpl) <= 8, "lock alignment");

CriticalSectionImpl& Impl(LPCRITICAL_SECTION cs) {
    return *std::launder(reinterpret_cast<CriticalSectionImpl*>(cs->Storage));
}

HANDLE ThreadTag() {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()));
}

bool OwnedByCaller(LPCRITICAL_SECTION cs) {
    return std::atomic_ref<HANDLE>(cs->OwnerThread).load(std::memory_order_relaxed) == ThreadTag();
}

void TakeOwnership(LPCRITICAL_SECTION cs) {
    std::atomic_ref<HANDLE>(cs->OwnerThread).store(ThreadTag(), std::memory_order_relaxed);
    cs->LockCount = 1;
}

}  // namespace

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    lpCriticalSection->LockCount = 0;
    lpCriticalSection->OwnerThread = nullptr;
    lpCriticalSection->hCrit = reinterpret_cast<HANDLE>(lpCriticalSection);
    lpCriticalSection->needtrap = 0;
    lpCriticalSection->dwContentions = 0;
    new (lpCriticalSection->Storage) CriticalSectionImpl;
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    assert(lpCriticalSection->OwnerThread == nullptr && "critical section deleted while held");
    Impl(lpCriticalSection).~CriticalSectionImpl();
    lpCriticalSection->hCrit = nullptr;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (OwnedByCaller(lpCriticalSection)) {
        ++lpCriticalSection->LockCount;
        return;
    }
    CriticalSectionImpl& impl = Impl(lpCriticalSection);
    if (!impl.mutex.try_lock()) {
        std::atomic_ref<DWORD>(lpCriticalSection->dwContentions).fetch_add(1, std::memory_order_relaxed);
        ce::LockSpinningFirst(impl.mutex);
    }
    TakeOwnership(lpCriticalSection);
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (OwnedByCaller(lpCriticalSection)) {
        ++lpCriticalSection->LockCount;
        return TRUE;
    }
    if (!Impl(lpCriticalSection).mutex.try_lock()) {
        return FALSE;
    }
    TakeOwnership(lpCriticalSection);
    return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (!OwnedByCaller(lpCriticalSection)) {
        // Leaving a lock one does not hold is a caller bug; ignoring it keeps the real owner's lock intact.
        assert(false && "LeaveCriticalSection by a thread that does not own it");
        return;
    }
    if (--lpCriticalSection->LockCount == 0) {
        std::atomic_ref<HANDLE>(lpCriticalSection->OwnerThread).store(nullptr, std::memory_order_relaxed);
        Impl(lpCriticalSection).mutex.unlock();
    }
}

}  // extern "C"
