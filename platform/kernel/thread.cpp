#include "kernel/thread.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <new>

#include "kernel/faults.h"

namespace ce {

constexpr DWORD kDefaultPermissions = 1;  // the calling process only
constexpr size_t kMinimumStackBytes = 64 * 1024;

namespace {

std::atomic<DWORD> gNextThreadId{0x100};

struct ThreadLocals {
    std::shared_ptr<ThreadObject> self;
    DWORD lastError = ERROR_SUCCESS;
    DWORD permissions = kDefaultPermissions;
    DWORD pendingExitCode = 0;
};

thread_local ThreadLocals tls;

// Marks the thread finished however it leaves: return, ExitThread (a forced unwind) or cancellation.
struct FinishOnExit {
    ThreadObject* thread;
    ~FinishOnExit() { thread->Finish(tls.pendingExitCode); }
};

void* ThreadMain(void* raw) {
    std::shared_ptr<ThreadObject>* handoff = static_cast<std::shared_ptr<ThreadObject>*>(raw);
    tls.self = std::move(*handoff);
    delete handoff;
    ThreadObject* thread = tls.self.get();
    thread->WaitUntilResumed();
    FinishOnExit finish{thread};
    tls.pendingExitCode = thread->start()(thread->parameter());
    return nullptr;
}

std::shared_ptr<ThreadObject> ThreadFromHandle(HANDLE handle) {
    if (handle == GetCurrentThread()) {
        return CurrentThreadObject();
    }
    return Lookup<ThreadObject>(handle, ObjectType::Thread);
}

}  // namespace

std::shared_ptr<ThreadObject> CurrentThreadObject() {
    if (!tls.self) {
        tls.self = std::make_shared<ThreadObject>(gNextThreadId.fetch_add(1), nullptr, nullptr, false);
    }
    return tls.self;
}

}  // namespace ce

extern "C" {

DWORD WINAPI GetLastError(void) {
    return ce::tls.lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    ce::tls.lastError = dwErrCode;
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId) {
    if (lpStartAddress == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DWORD error;
    if (ce::FaultFires(ce::FaultPoint::CreateThread, &error)) {
        SetLastError(error);
        return nullptr;
    }
    auto* handoff = new (std::nothrow) std::shared_ptr<ce::ThreadObject>;
    if (handoff == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    try {
        *handoff = std::make_shared<ce::ThreadObject>(ce::gNextThreadId.fetch_add(1), lpStartAddress,
                                                      lpParameter, (dwCreationFlags & CREATE_SUSPENDED) != 0);
    } catch (const std::bad_alloc&) {
        delete handoff;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::shared_ptr<ce::ThreadObject> thread = *handoff;
    HANDLE handle = ce::InsertHandle(thread);
    if (handle == nullptr) {
        delete handoff;
        return nullptr;
    }

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (dwStackSize != 0) {
        pthread_attr_setstacksize(
            &attributes, dwStackSize < ce::kMinimumStackBytes ? ce::kMinimumStackBytes : dwStackSize);
    }
    pthread_t id;
    const int result = pthread_create(&id, &attributes, ce::ThreadMain, handoff);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        delete handoff;
        ce::RemoveHandle(handle, ce::ObjectType::Thread);
        SetLastError(result == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_GEN_FAILURE);
        return nullptr;
    }
    if (lpThreadId != nullptr) {
        *lpThreadId = thread->id();
    }
    return handle;
}

void WINAPI ExitThread(DWORD dwExitCode) {
    ce::CurrentThreadObject();
    ce::tls.pendingExitCode = dwExitCode;
    if (!ce::tls.self->start()) {
        // Not one of ours: nothing unwinds to FinishOnExit, so finish here.
        ce::tls.self->Finish(dwExitCode);
    }
    pthread_exit(nullptr);
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    std::shared_ptr<ce::ThreadObject> thread = ce::ThreadFromHandle(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpExitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpExitCode = thread->ExitCode();
    return TRUE;
}

HANDLE WINAPI GetCurrentThread(void) {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}

HANDLE WINAPI GetCurrentProcess(void) {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
}

DWORD WINAPI GetCurrentThreadId(void) {
    // Asked on every critical section entry: no reference to the thread object is taken for it.
    if (!ce::tls.self) {
        ce::CurrentThreadObject();
    }
    return ce::tls.self->id();
}

DWORD WINAPI GetCurrentProcessId(void) {
    return static_cast<DWORD>(getpid());
}

DWORD WINAPI ResumeThread(HANDLE hThread) {
    std::shared_ptr<ce::ThreadObject> thread = ce::ThreadFromHandle(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFFu;
    }
    return thread->Resume();
}

DWORD WINAPI SuspendThread(HANDLE hThread) {
    // Linux cannot stop one thread of a process safely from another; no code here needs it.
    SetLastError(ce::ThreadFromHandle(hThread) ? ERROR_NOT_SUPPORTED : ERROR_INVALID_HANDLE);
    return 0xFFFFFFFFu;
}

BOOL WINAPI CeSetThreadPriority(HANDLE hThread, int nPriority) {
    std::shared_ptr<ce::ThreadObject> thread = ce::ThreadFromHandle(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (nPriority < 0 || nPriority >= ce::kPriorityLevels256) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Recorded, not applied: Linux scheduling classes need privileges and would not mean the same.
    thread->set_priority(nPriority);
    return TRUE;
}

int WINAPI CeGetThreadPriority(HANDLE hThread) {
    std::shared_ptr<ce::ThreadObject> thread = ce::ThreadFromHandle(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    return thread->priority();
}

BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
    if (nPriority < THREAD_PRIORITY_TIME_CRITICAL || nPriority > THREAD_PRIORITY_IDLE) {
        SetLastError(ce::ThreadFromHandle(hThread) ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CeSetThreadPriority(hThread, ce::kFirstSevenLevelPriority + nPriority);
}

int WINAPI GetThreadPriority(HANDLE hThread) {
    const int priority = CeGetThreadPriority(hThread);
    if (priority == THREAD_PRIORITY_ERROR_RETURN) {
        return priority;
    }
    // Real-time priorities above the seven levels read as the highest of them.
    return priority < ce::kFirstSevenLevelPriority ? THREAD_PRIORITY_TIME_CRITICAL
                                                   : priority - ce::kFirstSevenLevelPriority;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    timespec remaining{static_cast<time_t>(dwMilliseconds / 1000),
                       static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

DWORD WINAPI GetTickCount(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);  // wraps at 2^32 as on the device
}

DWORD WINAPI GetCurrentPermissions(void) {
    return ce::tls.permissions;
}

DWORD WINAPI SetProcPermissions(DWORD newperms) {
    const DWORD previous = ce::tls.permissions;
    ce::tls.permissions = newperms;
    return previous;
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule) {
    // The device manager never sends thread notifications, so there is nothing to disable.
    return TRUE;
}

}  // extern "C"
