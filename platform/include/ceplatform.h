// The platform's own controls: things a device has no API for, which programs and tests on Linux need.
// Nothing here exists on the device; product code uses none of it.
#pragma once

#include "winbase.h"

CE_BEGIN_DECLS

// Fault points make the next calls of one kind fail with a chosen error, so that tests reach failure paths
// of the code under test without mocking the system. Points are named after the call they break:
//   "RegCreateKeyExW", "RegOpenKeyExW", "RegDeleteKeyW", "RegSetValueExW", "RegDeleteValueW",
//   "ActivateDevice", "DeactivateDevice", "CreateEventW", "CreateThread", "LocalAlloc", "LoadModule"
//   (loading a driver module), "HiveRename" (a registry save stops after writing its temporary file,
//   as a crash between write and rename would), and "CallRegion" (the thread's next connection to the
//   device host gets no shared memory and carries its calls over its socket).
// The fault fires on the call after skipCalls calls that pass; it fires once. FALSE for an unknown name.
CEAPI BOOL CePlatformInjectFault(const char* point, DWORD skipCalls, DWORD error);
CEAPI void CePlatformClearFaults(void);

// Starts a device afresh in this process: deactivates every device, forgets the hive file (without
// touching it) and empties the registry. Faults are cleared. Handles to registry keys become stale.
// A program joined to a device host (below) never resets the shared device: the call prints why on stderr
// and does nothing.
CEAPI void CePlatformReset(void);

// Attaches the registry to a hive file in .reg text format: loads it (replacing what is in memory) and saves
// after every change. A missing file starts empty and is created on the first change. A malformed file is
// refused: FALSE, ERROR_BADDB, a message naming the line on stderr and in CeRegistryLastError, and the file
// is left as it is. A hive has one writer, which holds an flock on "<path>.lock": a hive another process
// has attached is refused with ERROR_SHARING_VIOLATION. NULL detaches the registry and keeps it in memory
// only. Without this call the variable CE_REGISTRY names the hive file when the registry is first used;
// while that file is refused, every registry call fails with the refusal's error. A program joined to a
// device host cannot choose the host's hive: FALSE with ERROR_NOT_SUPPORTED and a message on stderr.
CEAPI BOOL CeRegistryUseHive(const char* path);
// The last load or save problem of the registry as a UTF-8 message, or an empty string.
CEAPI const char* CeRegistryLastError(void);

// .reg files for tools. Both go through the Reg*W calls alone, so they work on whichever registry the
// process uses, its own or a device host's. Both answer ERROR_SUCCESS or an error code, and on failure,
// when problem is not NULL, put a UTF-8 message there (the file, the line when there is one, and why),
// truncated to problemSize bytes with its NUL.
//
// Writes root\subKey and everything below it to path, keys in creation order, replacing the file
// atomically (a temporary file renamed over it). root is a predefined root; subKey NULL or empty exports
// the whole root. ERROR_FILE_NOT_FOUND when the key does not exist (no file is written),
// ERROR_INVALID_HANDLE for a root that is not predefined, ERROR_INVALID_PARAMETER for a NULL or empty path.
CEAPI LONG CeRegistryExportKey(HKEY root, LPCWSTR subKey, const char* path, char* problem, DWORD problemSize);
// Applies the .reg file at path section by section: creates keys and sets values, deletes the keys of
// [-key] sections and the values of "name"=- lines (what is already missing is no error). The whole file
// is checked first: a malformed file, an unknown root or a bad name answers ERROR_BADDB and changes
// nothing; a missing file ERROR_FILE_NOT_FOUND. A registry call failing half-way stops there with its error.
CEAPI LONG CeRegistryImportFile(const char* path, char* problem, DWORD problemSize);

// Calls every active device's PowerDown or PowerUp entry point, as a suspend and resume would.
// The programs that hold the device named deviceName ("COM5:") open for reading or writing, by process id,
// each once: up to maxCount of them are stored in processIds. Answers how many there are: 0 for a device
// nobody holds, for a name no active device has, and on failure (the error set). A program alone on its
// device (CE_DEVICE=none) can only find itself.
CEAPI DWORD CeGetDeviceUsers(LPCWSTR deviceName, DWORD* processIds, DWORD maxCount);

CEAPI void CePlatformPowerDown(void);
CEAPI void CePlatformPowerUp(void);

// ---- the device host
// One device is shared by every program that names it: its registry and its device manager (with the
// driver modules) live in a host process, cedevice, and the registry calls, ActivateDevice and
// DeactivateDevice, and the file calls on devices (and so the comm API) cross to it over a socket in the
// device directory. Kernel objects stay in each program. The variable CE_DEVICE names the device directory
// and is read at a program's first registry or device call: unset, the default device
// $XDG_STATE_HOME/ceplatform/device (~/.local/state/ceplatform/device); "none", everything stays inside the
// process, as the tests have it. A program starts the host when none serves the device (CE_HOST_PROGRAM
// names the program to start; by default cedevice in the programs' directory beside this library).
// The directory holds registry.reg (the hive) and its registry.reg.lock, host.sock, host.lock, start.lock
// and host.log.
// On boot the host runs the command lines under HKEY_LOCAL_MACHINE\Init\StartUp, in order.
// A program whose host has gone fails its calls with ERROR_DEVICE_NOT_AVAILABLE; its next call starts
// the device again, without the handles it held. A host that does not answer a new connection within 5 s
// fails that call the same way; one that refuses a thread's connection (a program may hold half of the
// host's connections) fails that call alone with ERROR_NOT_ENOUGH_QUOTA or ERROR_NO_SYSTEM_RESOURCES.
// Each says why on stderr.

// The device directory this process uses, or NULL when its platform is in-process. Decides the mode.
CEAPI const char* CeDeviceDirectory(void);

// The host program's command line ("run", "stop" or "status"); answers its exit status. cedevice's main.
CEAPI int CeDeviceHostMain(int argc, char** argv);

CE_END_DECLS
