#include "store/registry_access.h"

namespace store {
namespace {

constexpr size_t kReadChars = kStringReadBytes / sizeof(WCHAR);

}  // namespace

RegKey::~RegKey() {
    Close();
}

bool RegKey::Open(LPCWSTR path) {
    Close();
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, 0, &key_) == ERROR_SUCCESS;
}

bool RegKey::Create(LPCWSTR path) {
    Close();
    WCHAR noClass[] = u"";
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, noClass, 0, 0, nullptr, &key_, nullptr) ==
           ERROR_SUCCESS;
}

void RegKey::Close() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}

bool ReadString(HKEY key, LPCWSTR name, WCHAR* field, size_t fieldChars) {
    // One more character than the limit, so that text stored without its NUL still ends in one.
    WCHAR text[kReadChars + 1] = {};
    DWORD type = REG_NONE;
    DWORD bytes = kStringReadBytes;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    size_t length = 0;
    while (length < bytes / sizeof(WCHAR) && text[length] != u'\0') {
        ++length;
    }
    // Cutting a longer text to the field would give a different key path or prefix: refuse it instead.
    if (length >= fieldChars) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        field[i] = text[i];
    }
    field[length] = u'\0';
    return true;
}

bool ReadDword(HKEY key, LPCWSTR name, DWORD* value) {
    DWORD read = 0;
    DWORD type = REG_NONE;
    DWORD bytes = sizeof(read);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&read), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || bytes != sizeof(read)) {
        return false;
    }
    *value = read;
    return true;
}

void WriteDword(HKEY key, LPCWSTR name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void WriteString(HKEY key, LPCWSTR name, LPCWSTR text) {
    const DWORD bytes = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR));
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

bool JoinKeyPath(WCHAR* out, size_t outChars, LPCWSTR base, LPCWSTR name) {
    const size_t baseLength = static_cast<size_t>(lstrlenW(base));
    const size_t nameLength = static_cast<size_t>(lstrlenW(name));
    out[0] = u'\0';
    if (baseLength + 1 + nameLength >= outChars) {
        return false;
    }
    lstrcpyW(out, base);
    out[baseLength] = u'\\';
    lstrcpyW(out + baseLength + 1, name);
    return true;
}

}  // namespace store
