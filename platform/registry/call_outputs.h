// Writing results into callers' buffers the way the Reg*W calls share: check that everything fits first,
// then write, so a short buffer is left untouched.
#pragma once

#include <cstring>
#include <string>

#include <windows.h>

namespace ce::registry {

// Characters a name needs in a caller's buffer, its NUL included.
inline DWORD NameCharsNeeded(const std::u16string& name) {
    return static_cast<DWORD>(name.size() + 1);
}

inline bool NameFits(const std::u16string& name, const DWORD* capacity) {
    return NameCharsNeeded(name) <= *capacity;
}

// Copies a name that fits with its NUL; *count then holds its length without the NUL.
inline void CopyName(const std::u16string& name, LPWSTR buffer, LPDWORD count) {
    std::memcpy(buffer, name.data(), name.size() * sizeof(WCHAR));
    buffer[name.size()] = 0;
    *count = static_cast<DWORD>(name.size());
}

// Keys keep no class names: a class buffer receives the empty string. ERROR_INVALID_PARAMETER for a buffer
// without a count, ERROR_MORE_DATA for a buffer too short even for the NUL (its count then says 1).
inline LONG CheckClassBuffer(LPWSTR buffer, const DWORD* count) {
    if (buffer != nullptr && count == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (buffer != nullptr && *count == 0) {
        return ERROR_MORE_DATA;
    }
    return ERROR_SUCCESS;
}

inline void WriteClass(LONG check, LPWSTR buffer, LPDWORD count) {
    if (count == nullptr) {
        return;
    }
    if (check == ERROR_MORE_DATA) {
        *count = 1;
        return;
    }
    if (buffer != nullptr) {
        buffer[0] = 0;
    }
    *count = 0;
}

inline void WriteFileTime(uint64_t ticks, PFILETIME time) {
    if (time != nullptr) {
        time->dwLowDateTime = static_cast<DWORD>(ticks);
        time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    }
}

}  // namespace ce::registry
