// Registry access of the store: keys under HKEY_LOCAL_MACHINE opened with options 0 and access 0, strings
// read with the system's 510-byte limit into fixed-size fields, values written with their exact sizes.
#pragma once

#include <windows.h>

#include "store/port_entry.h"

namespace store {

// Strings are read with room for 255 UTF-16 characters, NUL included.
inline constexpr DWORD kStringReadBytes = 510;
// Subkey names are enumerated with room for MAX_PATH characters.
inline constexpr DWORD kSubkeyNameChars = MAX_PATH;

// An open key, closed when it goes.
class RegKey {
  public:
    RegKey() = default;
    ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    bool Open(LPCWSTR path);    // existing key under HKEY_LOCAL_MACHINE
    bool Create(LPCWSTR path);  // created, or opened when it exists
    void Close();
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// Reads a REG_SZ value into field (fieldChars with the NUL). A missing value, one of another type, one over
// the read limit or one whose text does not fit the field is unreadable: false, and field is untouched.
bool ReadString(HKEY key, LPCWSTR name, WCHAR* field, size_t fieldChars);
// Reads a 4-byte REG_DWORD value; false (and value untouched) for anything else.
bool ReadDword(HKEY key, LPCWSTR name, DWORD* value);

// Results are not looked at: a value that cannot be written shows up when the key is used.
void WriteDword(HKEY key, LPCWSTR name, DWORD value);
void WriteString(HKEY key, LPCWSTR name, LPCWSTR text);  // stored with its NUL

// out = base + "\" + name when it fits outChars (NUL included); false and out empty otherwise.
bool JoinKeyPath(WCHAR* out, size_t outChars, LPCWSTR base, LPCWSTR name);

// Calls visit(subkeyPath, subkey) for each subkey of the key at path that opens, by a 32-bit index from 0
// until the enumeration ends. A name too long for the enumeration buffer or for a key path field is passed
// over.
template <class Visit>
void ForEachSubkey(LPCWSTR path, Visit visit) {
    RegKey parent;
    if (!parent.Open(path)) {
        return;
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[kSubkeyNameChars] = {};
        DWORD chars = kSubkeyNameChars;
        const LONG result =
            RegEnumKeyExW(parent.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) {
            continue;
        }
        if (result != ERROR_SUCCESS) {
            return;
        }
        WCHAR subkeyPath[kKeyPathChars];
        RegKey subkey;
        if (JoinKeyPath(subkeyPath, kKeyPathChars, path, name) && subkey.Open(subkeyPath)) {
            visit(static_cast<LPCWSTR>(subkeyPath), subkey.get());
        }
    }
}

}  // namespace store
