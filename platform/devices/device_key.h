// The values of a device key that the device manager needs to start an instance of the driver.
#pragma once

#include <string>

#include <windows.h>

namespace ce {

inline constexpr size_t kPrefixChars = 3;
inline constexpr DWORD kMaxDeviceIndex = 9;
// Longest Dll value accepted: a path, so allow for deep install trees.
inline constexpr size_t kMaxDllChars = 1024;

struct DeviceKeyValues {
    std::u16string prefix;  // three ASCII letters or digits
    DWORD index = 0;        // 0..9
    std::u16string dll;     // module name or path
};

// Reads Prefix, Index and Dll from the key at path under HKEY_LOCAL_MACHINE. ERROR_FILE_NOT_FOUND for a
// missing key (or the registry's own error when it cannot be opened), ERROR_INVALID_PARAMETER for a missing
// or malformed value.
LONG ReadDeviceKey(LPCWSTR path, DeviceKeyValues* values);

// "COM5:" from prefix COM and index 5.
std::u16string DeviceName(const DeviceKeyValues& values);

// The stream entry point of a prefix: "COM" and "Init" give "COM_Init".
std::string EntryPointName(const std::u16string& prefix, const char* verb);

}  // namespace ce
