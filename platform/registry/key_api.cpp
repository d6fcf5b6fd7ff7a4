// The Reg*W calls on keys, each handed to the process's registry backend, and the in-process backend's
// operations on keys: a thin layer that checks arguments, maps handles to keys of the store, and saves the
// hive after a change.
#include <utility>

#include <windows.h>
#include <winreg.h>

#include "registry/call_outputs.h"
#include "registry/hive.h"
#include "registry/in_process_registry.h"
#include "registry/key_handle.h"
#include "registry/registry_store.h"

using ce::FaultPoint;
using namespace ce::registry;

namespace ce::registry {

LONG InProcessCreateKey(HKEY hKey, LPCWSTR lpSubKey, DWORD dwOptions, PHKEY phkResult,
                        LPDWORD lpdwDisposition) {
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
}

LONG InProcessOpenKey(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
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
}

LONG InProcessCloseKey(HKEY hKey) {
    return CloseKeyHandle(hKey);
}

LONG InProcessDeleteKey(HKEY hKey, LPCWSTR lpSubKey) {
    if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
        return refused;
    }
    if (lpSubKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (LONG status = ERROR_SUCCESS; Injected(FaultPoint::RegDeleteKey, &status)) {
        return status;
    }
    return WithHandle(hKey, [&](const KeyRef& base) { return SaveAfter(Store().DeleteKey(base, lpSubKey)); });
}

LONG InProcessEnumKey(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
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
        if (const LONG status = Store().EnumKey(key, dwIndex, &name, &lastWrite); status != ERROR_SUCCESS) {
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
}

LONG InProcessQueryInfoKey(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                           LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                           LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                           LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
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
}

LONG InProcessFlushKey(HKEY hKey) {
    if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
        return refused;
    }
    return WithHandle(hKey, [&](const KeyRef& key) {
        const LONG status = Store().CheckKey(key);
        // Unlike the calls that change the registry, a flush is about the file, so its failure is
        // reported.
        return status != ERROR_SUCCESS ? status : SaveHive();
    });
}

}  // namespace ce::registry

extern "C" {

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
    return RunRegistryCall(
        [&] { return Backend().createKey(hKey, lpSubKey, dwOptions, phkResult, lpdwDisposition); });
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    return RunRegistryCall([&] { return Backend().openKey(hKey, lpSubKey, phkResult); });
}

LONG RegCloseKey(HKEY hKey) {
    return RunRegistryCall([&] { return Backend().closeKey(hKey); });
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    return RunRegistryCall([&] { return Backend().deleteKey(hKey, lpSubKey); });
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return RunRegistryCall([&] {
        return Backend().enumKey(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass,
                                 lpftLastWriteTime);
    });
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME lpftLastWriteTime) {
    return RunRegistryCall([&] {
        return Backend().queryInfoKey(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen,
                                      lpcbMaxClassLen, lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen,
                                      lpcbSecurityDescriptor, lpftLastWriteTime);
    });
}

LONG RegFlushKey(HKEY hKey) {
    return RunRegistryCall([&] { return Backend().flushKey(hKey); });
}

}  // extern "C"
