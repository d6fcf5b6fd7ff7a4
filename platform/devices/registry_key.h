// A registry key handle that closes itself, and the typed reads the device manager needs.
#pragma once

#include <string>

#include <winreg.h>

namespace ce {

class RegistryKey {
  public:
    RegistryKey() = default;
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    LONG Open(HKEY parent, LPCWSTR path, REGSAM access);
    // *created (optional) tells whether the key is new.
    LONG Create(HKEY parent, LPCWSTR path, DWORD options, bool* created);
    void Close();

    HKEY get() const { return key_; }

    // A REG_SZ value without its terminating NUL. ERROR_FILE_NOT_FOUND when missing, ERROR_INVALID_DATA
    // for another type or a value longer than maxChars.
    LONG ReadString(LPCWSTR name, size_t maxChars, std::u16string* value) const;
    // A REG_DWORD value. ERROR_FILE_NOT_FOUND when missing, ERROR_INVALID_DATA for another type or size.
    LONG ReadDword(LPCWSTR name, DWORD* value) const;

    LONG WriteString(LPCWSTR name, const std::u16string& value) const;
    LONG WriteDword(LPCWSTR name, DWORD value) const;

  private:
    HKEY key_ = nullptr;
};

}  // namespace ce
