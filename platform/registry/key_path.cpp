#include "registry/key_path.h"

#include <algorithm>

namespace ce::registry {
namespace {

constexpr char16_t kFirstPrintable = u' ';

bool HasControlCharacter(std::u16string_view name) {
    return std::any_of(name.begin(), name.end(), [](char16_t c) { return c < kFirstPrintable; });
}

}  // namespace

LONG SplitKeyPath(std::u16string_view path, std::vector<std::u16string_view>* names) {
    names->clear();
    if (!path.empty() && path.back() == kPathSeparator) {
        path.remove_suffix(1);
        if (path.empty()) {
            return ERROR_BAD_PATHNAME;
        }
    }
    size_t start = 0;
    while (start <= path.size() && !path.empty()) {
        size_t end = path.find(kPathSeparator, start);
        if (end == std::u16string_view::npos) {
            end = path.size();
        }
        const std::u16string_view name = path.substr(start, end - start);
        if (name.empty()) {
            return ERROR_BAD_PATHNAME;
        }
        if (name.size() > kMaxKeyNameChars || HasControlCharacter(name)) {
            return ERROR_INVALID_PARAMETER;
        }
        names->push_back(name);
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

LONG CheckValueName(std::u16string_view name) {
    return name.size() > kMaxValueNameChars ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

LONG CheckValueSize(size_t bytes) {
    return bytes > kMaxValueBytes ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

}  // namespace ce::registry
