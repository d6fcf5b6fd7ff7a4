// UTF-8 (the command line, the console) to and from UTF-16 (the registry's text).
#pragma once

#include <string>
#include <string_view>

// False for bytes that are not well-formed UTF-8.
bool Utf8ToUtf16(std::string_view bytes, std::u16string* text);
// An unpaired surrogate becomes U+FFFD, since the console could not show it anyway.
std::string Utf16ToUtf8(std::u16string_view text);
