#include "registry/text_codec.h"

#include <cstdint>

namespace ce::registry {
namespace {

constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kLastCodePoint = 0x10FFFF;

constexpr unsigned char kFirstAnsiExtra = 0x80;
constexpr unsigned char kFirstLatin1Letter = 0xA0;
// Windows-1252 from 0x80 to 0x9F; above, the code page is Latin-1.
constexpr char16_t kAnsiExtras[kFirstLatin1Letter - kFirstAnsiExtra] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsHighSurrogate(char16_t unit) {
    return unit >= kSurrogateFirst && unit < kLowSurrogateFirst;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= kLowSurrogateFirst && unit <= kSurrogateLast;
}

void AppendUtf8(char32_t code, std::string* out) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < kFirstSupplementary) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void AppendUtf16(char32_t code, std::u16string* out) {
    if (code < kFirstSupplementary) {
        out->push_back(static_cast<char16_t>(code));
        return;
    }
    code -= kFirstSupplementary;
    out->push_back(static_cast<char16_t>(kSurrogateFirst + (code >> 10)));
    out->push_back(static_cast<char16_t>(kLowSurrogateFirst + (code & 0x3FF)));
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length and value of the sequence at bytes[pos], or 0 when it is malformed or overlong.
size_t DecodeOne(std::string_view bytes, size_t pos, char32_t* code) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        *code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = kFirstSupplementary;
    } else {
        return 0;
    }
    if (bytes.size() - pos < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[pos + i]);
        if (!IsContinuation(byte)) {
            return 0;
        }
        value = (value << 6) | (byte & 0x3F);
    }
    if (value < minimum || value > kLastCodePoint) {
        return 0;
    }
    *code = value;
    return length;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            const char32_t code = kFirstSupplementary + ((char32_t(unit) - kSurrogateFirst) << 10) +
                                  (text[i + 1] - kLowSurrogateFirst);
            AppendUtf8(code, &out);
            ++i;
        } else {
            AppendUtf8(unit, &out);
        }
    }
    return out;
}

bool FromUtf8(std::string_view bytes, std::u16string* text, size_t* badOffset) {
    text->clear();
    text->reserve(bytes.size());
    size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t code = 0;
        const size_t length = DecodeOne(bytes, pos, &code);
        if (length == 0) {
            *badOffset = pos;
            return false;
        }
        AppendUtf16(code, text);
        pos += length;
    }
    return true;
}

std::u16string FromAnsi(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool extra = byte >= kFirstAnsiExtra && byte < kFirstLatin1Letter;
        text.push_back(extra ? kAnsiExtras[byte - kFirstAnsiExtra] : static_cast<char16_t>(byte));
    }
    return text;
}

}  // namespace ce::registry
