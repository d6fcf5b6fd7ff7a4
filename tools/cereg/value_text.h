// Value types and data as the reg command shows and takes them: "REG_DWORD", 0x1f, "0A1B" for binary,
// "one\0two" for a multi-string.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

// "REG_SZ" for REG_SZ; a type without a name shows as "REG_0x<hex>".
std::u16string TypeName(DWORD type);
// The types a person may give to add, by name (case-insensitive).
std::optional<DWORD> TypeByName(std::u16string_view name);

// The data as one line of text.
std::u16string FormatData(DWORD type, const std::vector<BYTE>& data);

// Turns typed text into the value's bytes. separator splits a multi-string (default "\0", the two
// characters). False, with *error saying why, for text the type cannot hold.
bool ParseData(DWORD type, std::u16string_view text, std::u16string_view separator, std::vector<BYTE>* data,
               std::string* error);
