#include "devices/device_key.h"

#include <algorithm>

#include <devload.h>

#include "devices/registry_key.h"

namespace ce {
namespace {

bool IsAsciiAlphanumeric(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

bool IsValidPrefix(const std::u16string& prefix) {
    return prefix.size() == kPrefixChars && std::all_of(prefix.begin(), prefix.end(), IsAsciiAlphanumeric);
}

}  // namespace

LONG ReadDeviceKey(LPCWSTR path, DeviceKeyValues* values) {
    RegistryKey key;
    const LONG opened = key.Open(HKEY_LOCAL_MACHINE, path, KEY_READ);
    if (opened != ERROR_SUCCESS) {
        return opened;
    }
    if (key.ReadString(DEVLOAD_PREFIX_VALNAME, kPrefixChars, &values->prefix) != ERROR_SUCCESS ||
        !IsValidPrefix(values->prefix)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (key.ReadDword(DEVLOAD_INDEX_VALNAME, &values->index) != ERROR_SUCCESS ||
        values->index > kMaxDeviceIndex) {
        return ERROR_INVALID_PARAMETER;
    }
    if (key.ReadString(DEVLOAD_DLLNAME_VALNAME, kMaxDllChars, &values->dll) != ERROR_SUCCESS ||
        values->dll.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
}

std::u16string DeviceName(const DeviceKeyValues& values) {
    return values.prefix + static_cast<char16_t>(u'0' + values.index) + u':';
}

std::string EntryPointName(const std::u16string& prefix, const char* verb) {
    std::string name;
    for (char16_t c : prefix) {
        name += static_cast<char>(c);  // ASCII by IsValidPrefix
    }
    return name + "_" + verb;
}

}  // namespace ce
