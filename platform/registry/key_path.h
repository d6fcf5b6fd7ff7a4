// The naming and size rules of keys and values, shared by the live registry, the hive loader and imports.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include <windows.h>

namespace ce::registry {

inline constexpr size_t kMaxKeyNameChars = 255;
inline constexpr size_t kMaxValueNameChars = 16383;
// A value's data, as in the desktop's standard hive format. One limit everywhere, so that every value a
// hive can hold also fits in one call to a device host and a caller's buffer can always be made to fit.
inline constexpr size_t kMaxValueBytes = 1024 * 1024;
// Levels below a root; bounds every recursive walk of the tree.
inline constexpr size_t kMaxKeyDepth = 512;
inline constexpr char16_t kPathSeparator = u'\\';

// Splits a backslash-separated path relative to some key into its key names. An empty path has none; one
// trailing backslash is allowed. ERROR_BAD_PATHNAME for a leading backslash or an empty name in between;
// ERROR_INVALID_PARAMETER for a name over kMaxKeyNameChars or one holding a control character (the hive's
// section lines could not carry it).
LONG SplitKeyPath(std::u16string_view path, std::vector<std::u16string_view>* names);

// ERROR_INVALID_PARAMETER for a value name over kMaxValueNameChars.
LONG CheckValueName(std::u16string_view name);
// ERROR_INVALID_PARAMETER for data over kMaxValueBytes.
LONG CheckValueSize(size_t bytes);

}  // namespace ce::registry
