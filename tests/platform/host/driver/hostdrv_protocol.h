// What the device host's test driver (prefix HST) and its tests agree on. The driver echoes what an open
// writes to that open's reads; a read with nothing to give and a wait for comm events block until the
// open is closed, its process's exit is notified, or the device goes. It counts what happens to it under
// HKEY_LOCAL_MACHINE\HostDriver, where the counts outlive the module and the host.
#pragma once

#include <windows.h>

namespace hostdrv {

constexpr DWORD Code(DWORD function) {
    return CTL_CODE(0x8124, 0x800 + function, METHOD_BUFFERED, FILE_ANY_ACCESS);
}

inline constexpr DWORD kFail = Code(0);  // in DWORD: fails with that error, setting none for 0
// Copies the input to the output (as much as fits), reports the count and sets no error.
inline constexpr DWORD kCopy = Code(1);

// Only one open with read and write access at a time, as a serial port allows.
inline constexpr DWORD kDataAccess = GENERIC_READ | GENERIC_WRITE;
inline constexpr DWORD kBusyError = ERROR_ACCESS_DENIED;
// What a read or wait released by a close, an exit notification or the device's end fails with.
inline constexpr DWORD kReleasedError = ERROR_OPERATION_ABORTED;

inline constexpr const char16_t* kCountsKey = u"HostDriver";
inline constexpr const char16_t* kInits = u"Inits";
inline constexpr const char16_t* kDeinits = u"Deinits";
inline constexpr const char16_t* kOpens = u"Opens";
inline constexpr const char16_t* kCloses = u"Closes";
inline constexpr const char16_t* kBlocked = u"Blocked";          // calls blocked now
inline constexpr const char16_t* kExitNotices = u"ExitNotices";  // IOCTL_PSL_NOTIFY with an exit packet
inline constexpr const char16_t* kExitPid = u"ExitPid";          // the process of the last one
inline constexpr const char16_t* kReleased = u"Released";        // blocked calls that an exit notice ended

}  // namespace hostdrv
