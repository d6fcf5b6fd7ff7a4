// What the stand-in physical serial port driver (serialhw.dll) and the store's tests agree on.
#pragma once

#include <windows.h>

namespace physport {

// out Counts: the opens of this device since it started.
inline constexpr DWORD kGetCounts = CTL_CODE(0x8124, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS);

struct Counts {
    DWORD opens;      // every open, query-only opens (access 0) included
    DWORD dataOpens;  // opens asking for reading or writing, refused ones included
};

// DWORD in the device key: opens for reading or writing fail with this error.
inline constexpr const char16_t* kFailOpen = u"FailOpen";

// Like a serial port, one handle at a time may read and write; a second one is refused with this.
inline constexpr DWORD kHeldError = ERROR_INVALID_ACCESS;
// A control code the port does not know fails with this and leaves the bytes-returned word alone.
inline constexpr DWORD kUnknownCodeError = ERROR_INVALID_PARAMETER;

}  // namespace physport
