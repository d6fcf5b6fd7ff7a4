// The Reg*W calls on keys: a thin layer that checks arguments, maps handles to keys of the store, and saves
// the hive after a change.
#include <utility>

#include <windows.h>
#include <winreg.h>

#include "registry/call_outputs.h"
#include "registry/hive.h"
#include "registry/key_handle.h"
#include "registry/registry_store.h"
#include "remote/remote_registry.h"
#include "wire/device_dir.h"

using ce::FaultPoint;
using namespace ce::registry;

extern "C" {

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
    if (ce::host::Remote()) {
        return RunRegistryCall([&] {
            return ce::host::RemoteRegCreateKey(hKey, lpSubKey, dwOptions, phkResult, lpdwDisposition);
        });
    }
    return RunRegistryCall([&]() -> LONG {
        if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
            return refused;
        }
        if (phkResult == nullptr || lpSubKey == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        *phkResult = nullptr;
        if ((dwOptions & ~REG_OPTION_VOLATILE) != 0) {
            return ERROR_INVALID_PARAMETER;
        }
        if (LONG status = ERROR_SUCCESS; Injected(FaultPoint::RegCreateKeyEx, &status)) {
            return status;
        }
        return WithHandle(hKey, [&](const KeyRef& base) {
            CreateResult result;
            const bool isVolatile = (dwOptions & REG_OPTION_VOLATILE) != 0;
            LONG status = Store().CreateKey(base, lpSubKey, isVolatile, &result);
            if (status == ERROR_SUCCESS) {
                status = OpenKeyHandle(result.key, phkResult);
            }
            if (status == ERROR_SUCCESS && lpdwDisposition != nullptr) {
                *lpdwDisposition = result.created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
            }
            return SaveAfter(status);
        });
    });
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    if (ce::host::Remote()) {
        return RunRegistryCall([&] { return ce::host::RemoteRegOpenKey(hKey, lpSubKey, phkResult); });
    }
    return RunRegistryCall([&]() -> LONG {
        if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
            return refused;
        }
        if (phkResult == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        *phkResult = nullptr;
        if (LONG status = ERROR_SUCCESS; Injected(FaultPoint::RegOpenKeyEx, &status)) {
            return status;
        }
        return WithHandle(hKey, [&](const KeyRef& base) {
            KeyRef key;
            const LONG status = Store().OpenKey(base, lpSubKey != nullptr ? lpSubKey : u"", &key);
            return status != ERROR_SUCCESS ? status : OpenKeyHandle(std::move(key), phkResult);
        });
    });
}

LONG RegCloseKey(HKEY hKey) {
    if (ce::host::Remote()) {
        return RunRegistryCall([&] { return ce::host::RemoteRegCloseKey(hKey); });
    }
    return RunRegistryCall([&]() -> LONG { return CloseKeyHandle(hKey); });
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (ce::host::Remote()) {
        return RunRegistryCall([&] { return ce::host::RemoteRegDeleteKey(hKey, lpSubKey); });
    }
    return RunRegistryCall([&]() -> LONG {
        if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
            return refused;
        }
        if (lpSubKey == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        if (LONG status = ERROR_SUCCESS; Injected(FaultPoint::RegDeleteKey, &status)) {
            return status;
        }
        return WithHandle(hKey,
                          [&](const KeyRef& base) { return SaveAfter(Store().DeleteKey(base, lpSubKey)); });
    });
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    if (ce::host::Remote()) {
        return RunRegistryCall([&] {
            return ce::host::RemoteRegEnumKey(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass,
                                              lpcchClass, lpftLastWriteTime);
        });
    }
    return RunRegistryCall([&]() -> LONG {
        if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
            return refused;
        }
        const LONG classCheck = CheckClassBuffer(lpClass, lpcchClass);
        if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr ||
            classCheck == ERROR_INVALID_PARAMETER) {
            return ERROR_INVALID_PARAMETER;
        }
        return WithHandle(hKey, [&](const KeyRef& key) {
            std::u16string name;
            uint64_t lastWrite = 0;
            if (const LONG status = Store().EnumKey(key, dwIndex, &name, &lastWrite);
                status != ERROR_SUCCESS) {
                return status;
            }
            // A too-short buffer gets the count to retry with, NUL included, and stays as it was.
            if (!NameFits(name, lpcchName) || classCheck == ERROR_MORE_DATA) {
                *lpcchName = NameCharsNeeded(name);
                WriteClass(classCheck, lpClass, lpcchClass);
                return static_cast<LONG>(ERROR_MORE_DATA);
            }
            CopyName(name, lpName, lpcchName);
            WriteClass(classCheck, lpClass, lpcchClass);
            WriteFileTime(lastWrite, lpftLastWriteTime);
            return static_cast<LONG>(ERROR_SUCCESS);
        });
    });
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME lpftLastWriteTime) {
    if (ce::host::Remote()) {
        return RunRegistryCall([&] {
            return ce::host::RemoteRegQueryInfoKey(
                hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
        });
    }
    return RunRegistryCall([&]() -> LONG {
        if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
            return refused;
        }
        const LONG classCheck = CheckClassBuffer(lpClass, lpcchClass);
        if (lpReserved != nullptr || classCheck == ERROR_INVALID_PARAMETER) {
            return ERROR_INVALID_PARAMETER;
        }
        return WithHandle(hKey, [&](const KeyRef& key) {
            KeyInfo info;
            if (const LONG status = Store().QueryInfo(key, &info); status != ERROR_SUCCESS) {
                return status;
            }
            WriteClass(classCheck, lpClass, lpcchClass);
            if (classCheck == ERROR_MORE_DATA) {
                return static_cast<LONG>(ERROR_MORE_DATA);
            }
            // Lengths of names are in characters without the NUL; the longest value is in bytes.
            const std::pair<LPDWORD, DWORD> outputs[] = {
                {lpcSubKeys, info.subkeys},
                {lpcbMaxSubKeyLen, info.maxSubkeyChars},
                {lpcbMaxClassLen, 0},
                {lpcValues, info.values},
                {lpcbMaxValueNameLen, info.maxValueNameChars},
                {lpcbMaxValueLen, info.maxValueBytes},
                {lpcbSecurityDescriptor, 0},
            };
            for (const auto& [out, value] : outputs) {
                if (out != nullptr) {
                    *out = value;
                }
            }
            WriteFileTime(info.lastWrite, lpftLastWriteTime);
            return static_cast<LONG>(ERROR_SUCCESS);
        });
    });
}

LONG RegFlushKey(HKEY hKey) {
    if (ce::host::Remote()) {
        return RunRegistryCall([&] { return ce::host::RemoteRegFlushKey(hKey); });
    }
    return RunRegistryCall([&]() -> LONG {
        if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
            return refused;
        }
        return WithHandle(hKey, [&](const KeyRef& key) {
            const LONG status = Store().CheckKey(key);
            // Unlike the calls that change the registry, a flush is about the file, so its failure is
            // reported.
            return status != ERROR_SUCCESS ? status : SaveHive();
        });
    });
}

}  // extern "C"
