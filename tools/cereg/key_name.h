// Key names as people type them: with the root's full name (HKEY_LOCAL_MACHINE\...), its short name
// (HKLM\...), or without a root, which means HKEY_LOCAL_MACHINE, the device's own root.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

struct KeyName {
    HKEY root = HKEY_LOCAL_MACHINE;
    std::u16string rootName;  // the full name, "HKEY_LOCAL_MACHINE"
    std::u16string subKey;    // below the root, without leading or trailing separators; empty for the root
    std::u16string FullName() const;
};

// False for an empty name, or one with an empty component ("a\\\\b", "\\a").
bool ParseKeyName(std::u16string_view text, KeyName* key);

// The key one level down, for walking a tree.
KeyName ChildKey(const KeyName& parent, std::u16string_view name);
