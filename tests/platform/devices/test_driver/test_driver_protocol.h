// What the test stream driver (prefix TST) and the tests agree on: its control codes, the records they carry
// and the registry values that steer it.
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

// Output buffers of other codes are filled with kOutputBase, kOutputBase + 1, ...
inline constexpr BYTE kOutputBase = 0xA0;
// The driver's error for an open or device context it does not know (closed, or ended by Deinit).
inline constexpr DWORD kUnknownContextError = ERROR_DEVICE_REMOVED;
// A seek to a negative position fails with the value Win32 calls ERROR_NEGATIVE_SEEK.
inline constexpr DWORD kNegativeSeekError = 131;

struct Info {
    DWORD clientInfo;
    DWORD initsSinceLoad;  // Init calls since the module was loaded, this device's included
    DWORD opens;
    DWORD closes;
    DWORD powerDowns;
    DWORD powerUps;
    DWORD openedInInit;  // 1 when Init opened the device named by kOpenInInit
    DWORD blockedReads;  // reads of the device now waiting for data
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

// DllMain counts its calls under HKEY_LOCAL_MACHINE, where they outlive the module.
inline constexpr const char16_t* kCountsKey = u"TestDriver";
inline constexpr const char16_t* kAttaches = u"Attaches";
inline constexpr const char16_t* kDetaches = u"Detaches";

}  // namespace testdrv
