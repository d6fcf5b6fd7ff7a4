// Caller memory that must not fault: copies and checks that fail instead of taking a signal, and leave the
// thread's last error alone (the registry calls must not change it), beside CeSafeCopyMemory (pkfuncs.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include <pkfuncs.h>
#include <windows.h>

namespace ce {

// Copies between caller memory and ours. False when either side cannot be reached, or for more bytes than
// one copy takes.
inline bool SafeCopy(void* to, const void* from, size_t size) {
    if (size > UINT32_MAX) {
        return false;
    }
    const DWORD saved = GetLastError();
    const bool copied = CeSafeCopyMemory(to, from, static_cast<DWORD>(size)) != FALSE;
    SetLastError(saved);
    return copied;
}

// Whether every byte of [buffer, buffer + size) can be written now, proven without changing a byte
// (another thread may be writing there). True for size 0.
bool ProvenWritable(void* buffer, size_t size);

}  // namespace ce
