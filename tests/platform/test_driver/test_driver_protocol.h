// What the test stream driver (prefix TST) and the tests agree on. The driver echoes what an open writes to
// that open's reads; a read with nothing to give and a wait for comm events block until the open is closed,
// its process's exit is notified, or the device goes. It answers what it was called with through control
// codes of its own, counts what happens to it under HKEY_LOCAL_MACHINE\TestDriver (where the counts outlive
// the module and the host) and is steered by values of its device key.
#pragma once

#include <windows.h>

namespace testdrv {

constexpr DWORD Code(DWORD function) {
    return CTL_CODE(0x8123, 0x800 + function, METHOD_BUFFERED, FILE_ANY_ACCESS);
}

inline constexpr DWORD kGetInfo = Code(0);      // out Info
inline constexpr DWORD kGetLastCall = Code(1);  // out LastCall
inline constexpr DWORD kFail = Code(2);         // in DWORD: fails with that error, setting none for 0
// in DWORD, an event handle: a read released by Close or Deinit waits for it before it returns
inline constexpr DWORD kSetLinger = Code(3);
// Copies the input to the output (as much as fits), reports the count and sets no error.
inline constexpr DWORD kCopy = Code(4);

// Output buffers of other codes are filled with kOutputBase, kOutputBase + 1, ...
inline constexpr BYTE kOutputBase = 0xA0;
// The driver's error for an open or device context it does not know (closed, or ended by Deinit).
inline constexpr DWORD kUnknownContextError = ERROR_DEVICE_REMOVED;
// A seek to a negative position fails with the value Win32 calls ERROR_NEGATIVE_SEEK.
inline constexpr DWORD kNegativeSeekError = 131;
// With kExclusive set, only one open with read and write access at a time, as a serial port allows.
inline constexpr DWORD kDataAccess = GENERIC_READ | GENERIC_WRITE;
inline constexpr DWORD kBusyError = ERROR_ACCESS_DENIED;
// What a read or wait released by a close, an exit notification or the device's end fails with.
inline constexpr DWORD kReleasedError = ERROR_OPERATION_ABORTED;

struct Info {
    DWORD clientInfo;
    DWORD initsSinceLoad;  // Init calls since the module was loaded, this device's included
    DWORD opens;
    DWORD closes;
    DWORD powerDowns;
    DWORD powerUps;
    DWORD openedInInit;  // 1 when Init opened the device named by kOpenInInit
    DWORD openAccess;    // of the open asking
    DWORD openShare;
    WCHAR activeKey[64];
};

struct LastCall {
    DWORD calls;  // control calls of the device, the driver's own codes not counted
    DWORD code;
    DWORD inSize;
    DWORD outSize;
    BOOL hadIn;
    BOOL hadOut;
    BYTE in[32];  // the first bytes of the input
};

// Values of the device key read by Init.
inline constexpr const char16_t* kFailInit = u"FailInit";  // DWORD: Init fails with this error (0: none set)
inline constexpr const char16_t* kFailOpen = u"FailOpen";  // DWORD: Open fails likewise
inline constexpr const char16_t* kOpenInInit = u"OpenInInit";  // string: Init opens this device and closes it
inline constexpr const char16_t* kExclusive = u"Exclusive";    // DWORD: one data open at a time

inline constexpr const char16_t* kCountsKey = u"TestDriver";
inline constexpr const char16_t* kAttaches = u"Attaches";  // DllMain's calls
inline constexpr const char16_t* kDetaches = u"Detaches";
inline constexpr const char16_t* kInits = u"Inits";
inline constexpr const char16_t* kDeinits = u"Deinits";
inline constexpr const char16_t* kCloses = u"Closes";
inline constexpr const char16_t* kBlocked = u"Blocked";          // calls blocked now
inline constexpr const char16_t* kExitNotices = u"ExitNotices";  // IOCTL_PSL_NOTIFY with an exit packet
inline constexpr const char16_t* kExitPid = u"ExitPid";          // the process of the last one
inline constexpr const char16_t* kReleased = u"Released";        // blocked calls that an exit notice ended

}  // namespace testdrv
