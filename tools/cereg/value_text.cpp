#include "value_text.h"

#include <array>
#include <cstdio>

#include "utf.h"

namespace {

struct NamedType {
    DWORD type;
    const char16_t* name;
    bool settable;  // accepted by add /t
};

constexpr std::array<NamedType, 10> kTypes = {{
    {REG_NONE, u"REG_NONE", false},
    {REG_SZ, u"REG_SZ", true},
    {REG_EXPAND_SZ, u"REG_EXPAND_SZ", true},
    {REG_BINARY, u"REG_BINARY", true},
    {REG_DWORD, u"REG_DWORD", true},
    {REG_DWORD_BIG_ENDIAN, u"REG_DWORD_BIG_ENDIAN", false},
    {REG_LINK, u"REG_LINK", false},
    {REG_MULTI_SZ, u"REG_MULTI_SZ", true},
    {REG_RESOURCE_LIST, u"REG_RESOURCE_LIST", false},
    {REG_QWORD, u"REG_QWORD", false},
}};

constexpr DWORD kMaxDword = 0xFFFFFFFFu;
constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

std::u16string Ascii(const char* text) {
    std::u16string out;
    for (; *text != '\0'; ++text) {
        out.push_back(static_cast<char16_t>(*text));
    }
    return out;
}

char16_t AsciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    c = AsciiUpper(c);
    return (c >= u'A' && c <= u'F') ? c - u'A' + 10 : -1;
}

// The UTF-16 units of data, a trailing odd byte left out.
std::u16string Units(const std::vector<BYTE>& data) {
    std::u16string units;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    return units;
}

void AppendUnits(std::u16string_view text, std::vector<BYTE>* data) {
    for (const char16_t c : text) {
        data->push_back(static_cast<BYTE>(c & 0xFF));
        data->push_back(static_cast<BYTE>(c >> 8));
    }
}

std::u16string Hex(const std::vector<BYTE>& data) {
    std::u16string text;
    for (const BYTE b : data) {
        text.push_back(kHexDigits[b >> 4]);
        text.push_back(kHexDigits[b & 0xF]);
    }
    return text;
}

std::u16string FormatMultiString(const std::vector<BYTE>& data) {
    std::u16string units = Units(data);
    // The list ends with an empty string; what follows the terminators is not part of it.
    const size_t end = units.find(std::u16string_view(u"\0\0", 2));
    if (end != std::u16string::npos) {
        units.resize(end);
    } else if (!units.empty() && units.back() == u'\0') {
        units.pop_back();
    }
    std::u16string text;
    for (const char16_t c : units) {
        if (c == u'\0') {
            text.append(u"\\0");
        } else {
            text.push_back(c);
        }
    }
    return text;
}

bool ParseDword(std::u16string_view text, std::vector<BYTE>* data, std::string* error) {
    int base = 10;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t number = 0;
    bool ok = !text.empty();
    for (const char16_t c : text) {
        const int digit = HexValue(c);
        if (digit < 0 || digit >= base) {
            ok = false;
            break;
        }
        number = number * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (number > kMaxDword) {
            ok = false;
            break;
        }
    }
    if (!ok) {
        *error = "'" + Utf16ToUtf8(text) +
                 "' is not a REG_DWORD: give a number from 0 to 4294967295 (or 0x0 to "
                 "0xFFFFFFFF)";
        return false;
    }
    for (int shift = 0; shift < 32; shift += 8) {
        data->push_back(static_cast<BYTE>(number >> shift));
    }
    return true;
}

bool ParseBinary(std::u16string_view text, std::vector<BYTE>* data, std::string* error) {
    if (text.size() % 2 != 0) {
        *error = "REG_BINARY data needs an even number of hex digits";
        return false;
    }
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) {
            *error = "REG_BINARY data holds something else than hex digits";
            return false;
        }
        data->push_back(static_cast<BYTE>(high << 4 | low));
    }
    return true;
}

bool ParseMultiString(std::u16string_view text, std::u16string_view separator, std::vector<BYTE>* data,
                      std::string* error) {
    // A list of no strings is the lone terminator.
    while (!text.empty()) {
        const size_t end = text.find(separator);
        const std::u16string_view item = text.substr(0, end);
        if (item.empty()) {
            *error = "REG_MULTI_SZ data holds an empty string; a multi-string cannot carry one";
            return false;
        }
        AppendUnits(item, data);
        AppendUnits(std::u16string_view(u"\0", 1), data);
        if (end == std::u16string_view::npos) {
            break;
        }
        text.remove_prefix(end + separator.size());
        if (text.empty()) {
            *error = "REG_MULTI_SZ data ends with a separator";
            return false;
        }
    }
    AppendUnits(std::u16string_view(u"\0", 1), data);
    return true;
}

}  // namespace

std::u16string TypeName(DWORD type) {
    for (const NamedType& named : kTypes) {
        if (named.type == type) {
            return named.name;
        }
    }
    char buffer[sizeof("REG_0xFFFFFFFF")];
    std::snprintf(buffer, sizeof(buffer), "REG_0x%X", static_cast<unsigned>(type));
    return Ascii(buffer);
}

std::optional<DWORD> TypeByName(std::u16string_view name) {
    for (const NamedType& named : kTypes) {
        const std::u16string_view candidate = named.name;
        if (!named.settable || candidate.size() != name.size()) {
            continue;
        }
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i) {
            same = AsciiUpper(name[i]) == candidate[i];
        }
        if (same) {
            return named.type;
        }
    }
    return std::nullopt;
}

std::u16string FormatData(DWORD type, const std::vector<BYTE>& data) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            std::u16string text = Units(data);
            return text.substr(0, text.find(u'\0'));
        }
        case REG_MULTI_SZ:
            return FormatMultiString(data);
        case REG_DWORD:
            if (data.size() == sizeof(DWORD)) {
                const DWORD number =
                    data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
                char buffer[sizeof("0xFFFFFFFF")];
                std::snprintf(buffer, sizeof(buffer), "0x%x", static_cast<unsigned>(number));
                return Ascii(buffer);
            }
            return Hex(data);
        default:
            return Hex(data);
    }
}

bool ParseData(DWORD type, std::u16string_view text, std::u16string_view separator, std::vector<BYTE>* data,
               std::string* error) {
    data->clear();
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            AppendUnits(text, data);
            AppendUnits(std::u16string_view(u"\0", 1), data);
            return true;
        case REG_DWORD:
            return ParseDword(text, data, error);
        case REG_BINARY:
            return ParseBinary(text, data, error);
        case REG_MULTI_SZ:
            if (separator.empty()) {
                *error = "the REG_MULTI_SZ separator is empty";
                return false;
            }
            return ParseMultiString(text, separator, data, error);
        default:
            *error = "values of type " + Utf16ToUtf8(TypeName(type)) + " cannot be typed";
            return false;
    }
}
