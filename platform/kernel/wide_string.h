// UTF-16 helpers shared by the platform's areas: case folding as the registry and object names use it, and
// conversion to and from UTF-8 at the platform's edges (files, terminal, logs).
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

namespace ce {

// Folds ASCII and Latin-1 letters to upper case; other characters stay as they are.
char16_t FoldChar(char16_t c);
std::u16string FoldCase(std::u16string_view text);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
int CompareIgnoreCase(std::u16string_view a, std::u16string_view b);

// Length of a NUL-terminated UTF-16 string that may be null (0 then).
size_t WideLength(LPCWSTR text);

// Malformed input (unpaired surrogates, invalid UTF-8) becomes U+FFFD rather than failing.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace ce
