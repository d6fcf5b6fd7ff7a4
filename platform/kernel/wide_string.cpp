#include "kernel/wide_string.h"

#include <algorithm>
#include <cstdio>

namespace ce {

char16_t FoldChar(char16_t c) {
    if (c >= u'a' && c <= u'z') {
        return static_cast<char16_t>(c - 0x20);
    }
    // Latin-1 lower-case letters, except the division sign and y-diaeresis (which has no Latin-1 capital).
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        return static_cast<char16_t>(c - 0x20);
    }
    return c;
}

std::u16string FoldCase(std::u16string_view text) {
    std::u16string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldChar);
    return folded;
}

int CompareIgnoreCase(std::u16string_view a, std::u16string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char16_t x = FoldChar(a[i]);
        const char16_t y = FoldChar(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && CompareIgnoreCase(a, b) == 0;
}

size_t WideLength(LPCWSTR text) {
    return text == nullptr ? 0 : std::char_traits<char16_t>::length(text);
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80           ? 1
                        : (lead >> 5) == 0x6  ? 2
                        : (lead >> 4) == 0xE  ? 3
                        : (lead >> 3) == 0x1E ? 4
                                              : 0;
        char32_t cp = length == 1   ? lead
                      : length == 2 ? (lead & 0x1F)
                      : length == 3 ? (lead & 0x0F)
                                    : (lead & 0x07);
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        static constexpr char32_t kShortest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (!valid || cp < kShortest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += u'\uFFFD';
            i += 1;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += length;
    }
    return out;
}

}  // namespace ce

namespace {

// Windows' wsprintf writes at most 1024 characters including the NUL.
constexpr size_t kWsprintfMaxChars = 1024;

void AppendPadded(std::u16string& out, std::u16string_view body, std::u16string_view sign, size_t width,
                  bool leftAlign, bool zeroPad) {
    const size_t length = sign.size() + body.size();
    const size_t pad = width > length ? width - length : 0;
    if (leftAlign) {
        out.append(sign).append(body).append(pad, u' ');
    } else if (zeroPad) {
        out.append(sign).append(pad, u'0').append(body);
    } else {
        out.append(pad, u' ').append(sign).append(body);
    }
}

std::u16string Digits(unsigned long long value, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string text;
    do {
        text.insert(text.begin(), static_cast<char16_t>(digits[value % base]));
        value /= base;
    } while (value != 0);
    return text;
}

}  // namespace

extern "C" {

int WINAPI lstrlenW(LPCWSTR lpString) {
    return static_cast<int>(ce::WideLength(lpString));
}

LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (lpString1 == nullptr || lpString2 == nullptr) {
        return nullptr;
    }
    std::char_traits<char16_t>::move(lpString1, lpString2, ce::WideLength(lpString2) + 1);
    return lpString1;
}

LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
    if (lpString1 == nullptr || lpString2 == nullptr || iMaxLength <= 0) {
        return iMaxLength <= 0 ? lpString1 : nullptr;
    }
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i] != 0; ++i) {
        lpString1[i] = lpString2[i];
    }
    lpString1[i] = 0;
    return lpString1;
}

LPWSTR WINAPI lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (lpString1 == nullptr || lpString2 == nullptr) {
        return nullptr;
    }
    lstrcpyW(lpString1 + ce::WideLength(lpString1), lpString2);
    return lpString1;
}

int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
    const std::u16string_view a = lpString1 ? lpString1 : u"";
    const std::u16string_view b = lpString2 ? lpString2 : u"";
    const int result = a.compare(b);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    return ce::CompareIgnoreCase(lpString1 ? lpString1 : u"", lpString2 ? lpString2 : u"");
}

// Conversions: %d %i %u %x %X %c %s (UTF-16 string) %S (UTF-8 string) %%, with '-', '0', width, precision
// for strings, and the 'l', 'h', 'I64' size prefixes.
int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) {
    if (lpOut == nullptr || lpFmt == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string out;
    for (const char16_t* p = lpFmt; *p != 0; ++p) {
        if (*p != u'%') {
            out += *p;
            continue;
        }
        ++p;
        bool leftAlign = false;
        bool zeroPad = false;
        for (; *p == u'-' || *p == u'0'; ++p) {
            (*p == u'-' ? leftAlign : zeroPad) = true;
        }
        size_t width = 0;
        for (; *p >= u'0' && *p <= u'9'; ++p) {
            width = width * 10 + (*p - u'0');
        }
        size_t precision = SIZE_MAX;
        if (*p == u'.') {
            precision = 0;
            for (++p; *p >= u'0' && *p <= u'9'; ++p) {
                precision = precision * 10 + (*p - u'0');
            }
        }
        bool wide64 = false;
        if (*p == u'l' || *p == u'h' || *p == u'w') {
            ++p;
        } else if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
            wide64 = true;
            p += 3;
        }
        switch (*p) {
            case u'd':
            case u'i': {
                const long long value = wide64 ? va_arg(arglist, long long) : va_arg(arglist, int);
                const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                               : static_cast<unsigned long long>(value);
                AppendPadded(out, Digits(magnitude, 10, false), value < 0 ? u"-" : u"", width, leftAlign,
                             zeroPad);
                break;
            }
            case u'u':
            case u'x':
            case u'X': {
                const unsigned long long value =
                    wide64 ? va_arg(arglist, unsigned long long) : va_arg(arglist, unsigned int);
                AppendPadded(out, Digits(value, *p == u'u' ? 10 : 16, *p == u'X'), u"", width, leftAlign,
                             zeroPad);
                break;
            }
            case u'c': {
                const char16_t c = static_cast<char16_t>(va_arg(arglist, int));
                AppendPadded(out, std::u16string_view(&c, 1), u"", width, leftAlign, false);
                break;
            }
            case u's': {
                const char16_t* text = va_arg(arglist, const char16_t*);
                std::u16string_view body = text ? text : u"(null)";
                AppendPadded(out, body.substr(0, precision), u"", width, leftAlign, false);
                break;
            }
            case u'S': {
                const char* text = va_arg(arglist, const char*);
                const std::u16string body = ce::FromUtf8(text ? text : "(null)");
                AppendPadded(out, std::u16string_view(body).substr(0, precision), u"", width, leftAlign,
                             false);
                break;
            }
            case u'%':
                out += u'%';
                break;
            case 0:
                --p;  // a lone '%' at the end
                break;
            default:
                out += *p;  // unknown conversion: copied as Windows does
                break;
        }
    }
    if (out.size() > kWsprintfMaxChars - 1) {
        out.resize(kWsprintfMaxChars - 1);
    }
    std::char_traits<char16_t>::copy(lpOut, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size());
}

int WINAPI wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
    va_list args;
    va_start(args, lpFmt);
    const int written = wvsprintfW(lpOut, lpFmt, args);
    va_end(args);
    return written;
}

}  // extern "C"
