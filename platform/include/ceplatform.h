// The platform's own controls: things a device has no API for, which programs and tests on Linux need.
// Nothing here exists on the device; product code uses none of it.
#pragma once

#include "winbase.h"

CE_BEGIN_DECLS

// Fault points make the next calls of one kind fail with a chosen error, so that tests reach failure paths
// of the code under test without mocking the system. Points are named after the call they break:
//   "RegCreateKeyExW", "RegOpenKeyExW", "RegDeleteKeyW", "RegSetValueExW", "RegDeleteValueW",
//   "ActivateDevice", "DeactivateDevice", "CreateEventW", "CreateThread", "LocalAlloc", "LoadModule"
//   (loading a driver module), and "HiveRename" (a registry save stops after writing its temporary file,
//   as a crash between write and rename would).
// The fault fires on the call after skipCalls calls that pass; it fires once. FALSE for an unknown name.
CEAPI BOOL CePlatformInjectFault(const char* point, DWORD skipCalls, DWORD error);
CEAPI void CePlatformClearFaults(void);

// Starts a device afresh in this process: deactivates every device, forgets the hive file (without
// touching it) and empties the registry. Faults are cleared. Handles to registry keys become stale.
CEAPI void CePlatformReset(void);

// Attaches the registry to a hive file in .reg text format: loads it (replacing what is in memory) and saves
// after every change. A missing file starts empty and is created on the first change. A malformed file is
// refused: FALSE, ERROR_BADDB, a message naming the line on stderr and in CeRegistryLastError, and the file
// is left as it is. NULL detaches the registry and keeps it in memory only. Without this call the variable
// CE_REGISTRY names the hive file when the registry is first used.
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
CEAPI void CePlatformPowerDown(void);
CEAPI void CePlatformPowerUp(void);

CE_END_DECLS
