// UTF-8 <-> UTF-16 for the hive file, the registry's only edge to the outside, and the ANSI code page of
// the older REGEDIT4 files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ce::registry {

// A lone surrogate (legal in a registry name, not in UTF-8) is written in its three-byte form, so that every
// name survives a save and a load unchanged.
std::string ToUtf8(std::u16string_view text);

// Accepts well-formed UTF-8 and the three-byte surrogate forms ToUtf8 writes. On a bad sequence answers false
// and the offset of its first byte.
bool FromUtf8(std::string_view bytes, std::u16string* text, size_t* badOffset);

// Text in the ANSI code page of the device (Windows-1252): every byte is one character. The five bytes the
// code page leaves undefined stand for the C1 controls of the same number, as the system's conversion does.
std::u16string FromAnsi(std::string_view bytes);

}  // namespace ce::registry
