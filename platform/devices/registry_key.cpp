#include "devices/registry_key.h"

#include <vector>

namespace ce {

LONG RegistryKey::Open(HKEY parent, LPCWSTR path, REGSAM access) {
    Close();
    return RegOpenKeyExW(parent, path, 0, access, &key_);
}

LONG RegistryKey::Create(HKEY parent, LPCWSTR path, DWORD options, bool* created) {
    Close();
    DWORD disposition = 0;
    const LONG result =
        RegCreateKeyExW(parent, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key_, &disposition);
    if (result == ERROR_SUCCESS && created != nullptr) {
        *created = disposition == REG_CREATED_NEW_KEY;
    }
    return result;
}

void RegistryKey::Close() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}

LONG RegistryKey::ReadString(LPCWSTR name, size_t maxChars, std::u16string* value) const {
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    LONG result = RegQueryValueExW(key_, name, nullptr, &type, nullptr, &bytes);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (type != REG_SZ || bytes > (maxChars + 1) * sizeof(WCHAR)) {
        return ERROR_INVALID_DATA;
    }
    std::vector<WCHAR> text(bytes / sizeof(WCHAR) + 1, u'\0');
    result = RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<LPBYTE>(text.data()), &bytes);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (type != REG_SZ) {
        return ERROR_INVALID_DATA;
    }
    // The text ends at its first NUL; a stored string may or may not carry one.
    value->assign(text.data());
    return value->size() > maxChars ? ERROR_INVALID_DATA : ERROR_SUCCESS;
}

LONG RegistryKey::ReadDword(LPCWSTR name, DWORD* value) const {
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD bytes = sizeof(data);
    const LONG result = RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<LPBYTE>(&data), &bytes);
    if (result == ERROR_MORE_DATA) {
        return ERROR_INVALID_DATA;
    }
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (type != REG_DWORD || bytes != sizeof(data)) {
        return ERROR_INVALID_DATA;
    }
    *value = data;
    return ERROR_SUCCESS;
}

LONG RegistryKey::WriteString(LPCWSTR name, const std::u16string& value) const {
    // Strings are stored with their NUL, as readers on the device expect.
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR));
    return RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
}

LONG RegistryKey::WriteDword(LPCWSTR name, DWORD value) const {
    return RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

}  // namespace ce
