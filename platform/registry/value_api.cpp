// The Reg*W calls on values, each handed to the process's registry backend, and the in-process backend's
// operations on values.
#include <cstring>
#include <string_view>

#include <windows.h>
#include <winreg.h>

#include "registry/call_outputs.h"
#include "registry/hive.h"
#include "registry/in_process_registry.h"
#include "registry/key_handle.h"
#include "registry/key_path.h"
#include "registry/registry_store.h"

using ce::FaultPoint;
using namespace ce::registry;

namespace {

// A null name is the default value.
std::u16string_view ValueName(LPCWSTR name) {
    return name != nullptr ? std::u16string_view(name) : u"";
}

void WriteType(const RegValue& value, LPDWORD type) {
    if (type != nullptr) {
        *type = value.type;
    }
}

bool DataFits(const RegValue& value, LPBYTE data, const DWORD* size) {
    return data == nullptr || value.data.size() <= *size;
}

// Copies the data when a buffer is given (it fits) and reports its size when asked.
void WriteData(const RegValue& value, LPBYTE data, LPDWORD size) {
    // An empty value has no storage to copy from; memcpy must not see its null pointer.
    if (data != nullptr && !value.data.empty()) {
        std::memcpy(data, value.data.data(), value.data.size());
    }
    if (size != nullptr) {
        *size = static_cast<DWORD>(value.data.size());
    }
}

}  // namespace

namespace ce::registry {

LONG InProcessSetValue(HKEY hKey, LPCWSTR lpValueName, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
        return refused;
    }
    const std::u16string_view name = ValueName(lpValueName);
    if ((lpData == nullptr && cbData != 0) || CheckValueName(name) != ERROR_SUCCESS ||
        CheckValueSize(cbData) != ERROR_SUCCESS) {
        return ERROR_INVALID_PARAMETER;
    }
    if (LONG status = ERROR_SUCCESS; Injected(FaultPoint::RegSetValueEx, &status)) {
        return status;
    }
    return WithHandle(hKey, [&](const KeyRef& key) {
        // Copied before the store is locked: caller memory is read outside the registry mutex.
        std::vector<BYTE> data(lpData, lpData + cbData);
        return SaveAfter(Store().SetValue(key, name, dwType, std::move(data)));
    });
}

LONG InProcessQueryValue(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData) {
    if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
        return refused;
    }
    const std::u16string_view name = ValueName(lpValueName);
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr) ||
        CheckValueName(name) != ERROR_SUCCESS) {
        return ERROR_INVALID_PARAMETER;
    }
    return WithHandle(hKey, [&](const KeyRef& key) {
        RegValue value;
        if (const LONG status = Store().QueryValue(key, name, &value); status != ERROR_SUCCESS) {
            return status;
        }
        WriteType(value, lpType);
        if (!DataFits(value, lpData, lpcbData)) {
            *lpcbData = static_cast<DWORD>(value.data.size());
            return static_cast<LONG>(ERROR_MORE_DATA);
        }
        WriteData(value, lpData, lpcbData);
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG InProcessEnumValue(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                        LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
        return refused;
    }
    if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
        (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    return WithHandle(hKey, [&](const KeyRef& key) {
        RegValue value;
        if (const LONG status = Store().EnumValue(key, dwIndex, &value); status != ERROR_SUCCESS) {
            return status;
        }
        WriteType(value, lpType);
        // When either part does not fit, both counts say what a retry needs and both buffers stay
        // untouched.
        if (!NameFits(value.name, lpcchValueName) || !DataFits(value, lpData, lpcbData)) {
            *lpcchValueName = NameCharsNeeded(value.name);
            if (lpcbData != nullptr) {
                *lpcbData = static_cast<DWORD>(value.data.size());
            }
            return static_cast<LONG>(ERROR_MORE_DATA);
        }
        CopyName(value.name, lpValueName, lpcchValueName);
        WriteData(value, lpData, lpcbData);
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG InProcessDeleteValue(HKEY hKey, LPCWSTR lpValueName) {
    if (const LONG refused = StartRegistry(); refused != ERROR_SUCCESS) {
        return refused;
    }
    const std::u16string_view name = ValueName(lpValueName);
    if (CheckValueName(name) != ERROR_SUCCESS) {
        return ERROR_INVALID_PARAMETER;
    }
    if (LONG status = ERROR_SUCCESS; Injected(FaultPoint::RegDeleteValue, &status)) {
        return status;
    }
    return WithHandle(hKey, [&](const KeyRef& key) { return SaveAfter(Store().DeleteValue(key, name)); });
}

}  // namespace ce::registry

extern "C" {

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    return RunRegistryCall([&] { return Backend().setValue(hKey, lpValueName, dwType, lpData, cbData); });
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    return RunRegistryCall(
        [&] { return Backend().queryValue(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData); });
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return RunRegistryCall([&] {
        return Backend().enumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData,
                                   lpcbData);
    });
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return RunRegistryCall([&] { return Backend().deleteValue(hKey, lpValueName); });
}

}  // extern "C"
