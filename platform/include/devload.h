// Device manager: activation of stream drivers from their registry keys, and the names it keeps there.
#pragma once

#include "winbase.h"

#define DEVLOAD_ACTIVE_KEY u"Drivers\\Active"
#define DEVLOAD_BUILT_IN_KEY u"Drivers\\BuiltIn"
#define DEVLOAD_PREFIX_VALNAME u"Prefix"
#define DEVLOAD_DLLNAME_VALNAME u"Dll"
#define DEVLOAD_INDEX_VALNAME u"Index"
#define DEVLOAD_ORDER_VALNAME u"Order"
#define DEVLOAD_FRIENDLYNAME_VALNAME u"FriendlyName"
#define DEVLOAD_DEVKEY_VALNAME u"Key"
#define DEVLOAD_DEVNAME_VALNAME u"Name"
#define DEVLOAD_HANDLE_VALNAME u"Hnd"
#define DEVLOAD_CLIENTINFO_VALNAME u"ClientInfo"

#ifndef RC_INVOKED
CE_BEGIN_DECLS

// lpszDevKey is a key path under HKEY_LOCAL_MACHINE holding Prefix, Index and Dll.
CEAPI HANDLE WINAPI ActivateDevice(LPCWSTR lpszDevKey, DWORD dwClientInfo);
CEAPI BOOL WINAPI DeactivateDevice(HANDLE hDevice);

CE_END_DECLS

// Entry points of a stream driver, named <Prefix>_Init and so on. Contexts are pointer-sized because the
// host is 64-bit.
typedef DWORD_PTR (*PFN_DEVICE_INIT)(LPCWSTR activeKey, DWORD_PTR clientInfo);
typedef BOOL (*PFN_DEVICE_DEINIT)(DWORD_PTR device);
typedef DWORD_PTR (*PFN_DEVICE_OPEN)(DWORD_PTR device, DWORD access, DWORD share);
typedef BOOL (*PFN_DEVICE_CLOSE)(DWORD_PTR open);
typedef DWORD (*PFN_DEVICE_READ)(DWORD_PTR open, LPVOID buffer, DWORD count);
typedef DWORD (*PFN_DEVICE_WRITE)(DWORD_PTR open, LPCVOID buffer, DWORD count);
typedef DWORD (*PFN_DEVICE_SEEK)(DWORD_PTR open, LONG amount, DWORD type);
typedef BOOL (*PFN_DEVICE_IOCONTROL)(DWORD_PTR open, DWORD code, PBYTE in, DWORD inLength, PBYTE out,
                                     DWORD outLength, PDWORD actualOut);
typedef BOOL (*PFN_DEVICE_POWERUP)(DWORD_PTR device);
typedef BOOL (*PFN_DEVICE_POWERDOWN)(DWORD_PTR device);
typedef BOOL(WINAPI* PFN_DLLMAIN)(HANDLE module, DWORD reason, LPVOID reserved);
#endif
