// Kernel functions specific to the device: 256-level priorities, process permissions, safe copies,
// and the notification the system sends a driver when a process that holds one of its handles exits.
#pragma once

#include "winbase.h"
#include "winioctl.h"

#define IOCTL_PSL_NOTIFY CTL_CODE(FILE_DEVICE_PSL, 255, METHOD_NEITHER, FILE_ANY_ACCESS)
#ifndef RC_INVOKED
static_assert(IOCTL_PSL_NOTIFY == 0x010303FFu, "IOCTL_PSL_NOTIFY");

// Input packet of IOCTL_PSL_NOTIFY; dwFlags is DLL_PROCESS_EXITING when the process is going away.
typedef struct _DEVICE_PSL_NOTIFY {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD hProc;
    DWORD hThread;
} DEVICE_PSL_NOTIFY, *PDEVICE_PSL_NOTIFY;
static_assert(sizeof(DEVICE_PSL_NOTIFY) == 16, "DEVICE_PSL_NOTIFY is 16 bytes");
#endif

#define CE_THREAD_PRIO_256_TIME_CRITICAL 248
#define CE_THREAD_PRIO_256_NORMAL 251
#define CE_THREAD_PRIO_256_IDLE 255

#ifndef RC_INVOKED
CE_BEGIN_DECLS

CEAPI BOOL WINAPI CeSetThreadPriority(HANDLE hThread, int nPriority);
CEAPI int WINAPI CeGetThreadPriority(HANDLE hThread);
CEAPI DWORD WINAPI GetCurrentPermissions(void);
CEAPI DWORD WINAPI SetProcPermissions(DWORD newperms);
// Copies cbSize bytes and answers FALSE (ERROR_NOACCESS) instead of faulting when either buffer is bad.
CEAPI BOOL WINAPI CeSafeCopyMemory(LPVOID pDest, LPCVOID pSrc, DWORD cbSize);

CE_END_DECLS
#endif
