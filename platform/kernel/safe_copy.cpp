// A memory copy that survives a bad pointer: memory known to be there is copied as it is (known_memory.h);
// anything else the kernel copies, reporting EFAULT instead of the process taking a signal, so no global
// signal handler is needed.
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <pkfuncs.h>

#include "kernel/known_memory.h"

namespace {

// Our own process id, asked once: getpid is a system call of its own, and a copy may run on every call a
// program makes. A forked child forgets the parent's id before it runs anything else, so it never copies
// from its parent's memory.
std::atomic<pid_t> ownProcessId{0};
const int kForgetProcessIdInChildren =
    pthread_atfork(nullptr, nullptr, [] { ownProcessId.store(0, std::memory_order_relaxed); });

pid_t OwnProcessId() {
    pid_t pid = ownProcessId.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = getpid();
        ownProcessId.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

// Copies through the kernel's view of our own address space.
bool CopyThroughProcessVm(void* dest, const void* src, size_t size, bool* unsupported) {
    iovec local{dest, size};
    iovec remote{const_cast<void*>(src), size};
    const ssize_t copied = process_vm_readv(OwnProcessId(), &local, 1, &remote, 1, 0);
    if (copied == static_cast<ssize_t>(size)) {
        return true;
    }
    *unsupported = copied < 0 && (errno == ENOSYS || errno == EPERM);
    return false;
}

// Fallback where process_vm_readv is not allowed: a pipe checks both ends in the kernel, one chunk at a time.
bool CopyThroughPipe(void* dest, const void* src, size_t size) {
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    constexpr size_t kChunkBytes = 4096;  // always fits in a pipe, so a write never blocks
    bool ok = true;
    for (size_t done = 0; ok && done < size;) {
        const size_t chunk = size - done < kChunkBytes ? size - done : kChunkBytes;
        ok = write(fds[1], static_cast<const char*>(src) + done, chunk) == static_cast<ssize_t>(chunk) &&
             read(fds[0], static_cast<char*>(dest) + done, chunk) == static_cast<ssize_t>(chunk);
        done += chunk;
    }
    close(fds[0]);
    close(fds[1]);
    return ok;
}

}  // namespace

extern "C" BOOL WINAPI CeSafeCopyMemory(LPVOID pDest, LPCVOID pSrc, DWORD cbSize) {
    if (cbSize == 0) {
        return TRUE;
    }
    if (pDest == nullptr || pSrc == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (ce::CopyKnownMemory(pDest, pSrc, cbSize)) {
        return TRUE;
    }
    bool unsupported = false;
    if (CopyThroughProcessVm(pDest, pSrc, cbSize, &unsupported) ||
        (unsupported && CopyThroughPipe(pDest, pSrc, cbSize))) {
        return TRUE;
    }
    SetLastError(ERROR_NOACCESS);
    return FALSE;
}
