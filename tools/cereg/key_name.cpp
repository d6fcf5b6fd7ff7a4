#include "key_name.h"

#include <array>

namespace {

constexpr char16_t kSeparator = u'\\';

struct Root {
    const char16_t* shortName;
    const char16_t* fullName;
    HKEY handle;
};

const std::array<Root, 4> kRoots = {{
    {u"HKLM", u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {u"HKCU", u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {u"HKCR", u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {u"HKU", u"HKEY_USERS", HKEY_USERS},
}};

char16_t AsciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::u16string KeyName::FullName() const {
    return subKey.empty() ? rootName : rootName + kSeparator + subKey;
}

bool ParseKeyName(std::u16string_view text, KeyName* key) {
    // Every part must have a name: the registry would refuse a doubled separator, and a leading one would
    // silently mean something else than the person typed.
    if (text.starts_with(kSeparator) || text.find(u"\\\\") != std::u16string_view::npos) {
        return false;
    }
    if (!text.empty() && text.back() == kSeparator) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return false;
    }
    const std::u16string_view first = text.substr(0, text.find(kSeparator));
    key->root = HKEY_LOCAL_MACHINE;
    key->rootName = u"HKEY_LOCAL_MACHINE";
    for (const Root& root : kRoots) {
        if (SameName(first, root.shortName) || SameName(first, root.fullName)) {
            key->root = root.handle;
            key->rootName = root.fullName;
            text.remove_prefix(first.size() == text.size() ? first.size() : first.size() + 1);
            break;
        }
    }
    key->subKey.assign(text);
    return true;
}

KeyName ChildKey(const KeyName& parent, std::u16string_view name) {
    KeyName child = parent;
    if (!child.subKey.empty()) {
        child.subKey.push_back(kSeparator);
    }
    child.subKey.append(name);
    return child;
}
