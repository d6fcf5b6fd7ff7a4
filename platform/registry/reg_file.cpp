#include "registry/reg_file.h"

#include <algorithm>
#include <cstdio>

#include "registry/text_codec.h"

namespace ce::registry::regfile {
namespace {

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00";
// The older format: text in the ANSI code page, and the strings of hex(1), hex(2) and hex(7) data in it too.
constexpr std::string_view kAnsiHeader = "REGEDIT4";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr size_t kMaxTypeDigits = 8;  // a DWORD in hex
constexpr size_t kMaxByteDigits = 2;
// Hex lists are folded before this column, as registry editors do, so long values stay readable.
constexpr size_t kHexWrapColumn = 76;
constexpr char16_t kFirstPrintable = u' ';

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

char16_t AsciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
}

// ---- reading ---------------------------------------------------------------------------------------------

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

class Parser {
  public:
    // wideText: the file was UTF-16, so hex strings are UTF-16 whatever its header says.
    Parser(std::u16string_view text, bool wideText, Document* document, ParseError* error)
        : text_(text), wideText_(wideText), document_(document), error_(error) {}

    bool Run() {
        bool sawHeader = false;
        while (!AtEnd()) {
            SkipBlanks();
            if (AtLineEnd()) {
                ConsumeLineEnd();
                continue;
            }
            if (Peek() == u';') {
                SkipToLineEnd();
                continue;
            }
            bool ok = false;
            if (!sawHeader) {
                ok = ParseHeader();
                sawHeader = true;
            } else if (Peek() == u'[') {
                ok = ParseSection();
            } else if (Peek() == u'"' || Peek() == u'@') {
                ok = ParseValue();
            } else {
                ok = Fail("expected a [key] line, a value line or a comment");
            }
            if (!ok) {
                return false;
            }
        }
        return true;
    }

  private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    char16_t Peek() const { return text_[pos_]; }
    bool AtLineEnd() const { return AtEnd() || Peek() == u'\n' || Peek() == u'\r'; }

    void SkipBlanks() {
        while (!AtEnd() && (Peek() == u' ' || Peek() == u'\t')) {
            ++pos_;
        }
    }

    void ConsumeLineEnd() {
        if (AtEnd()) {
            return;
        }
        if (Peek() == u'\r') {
            ++pos_;
            if (!AtEnd() && Peek() == u'\n') {
                ++pos_;
            }
        } else {
            ++pos_;
        }
        ++line_;
    }

    void SkipToLineEnd() {
        while (!AtLineEnd()) {
            ++pos_;
        }
        ConsumeLineEnd();
    }

    bool Fail(std::string message) { return FailAt(line_, std::move(message)); }
    bool FailAt(int line, std::string message) {
        error_->line = line;
        error_->message = std::move(message);
        return false;
    }

    // The rest of a record: blanks, maybe a comment, then the end of the line.
    bool FinishLine(const char* what) {
        SkipBlanks();
        if (!AtEnd() && Peek() == u';') {
            SkipToLineEnd();
            return true;
        }
        if (!AtLineEnd()) {
            return Fail(std::string("unexpected text after ") + what);
        }
        ConsumeLineEnd();
        return true;
    }

    std::u16string_view RestOfLine() {
        const size_t start = pos_;
        while (!AtLineEnd()) {
            ++pos_;
        }
        return text_.substr(start, pos_ - start);
    }

    bool MatchWord(std::u16string_view word) {
        if (text_.size() - pos_ < word.size()) {
            return false;
        }
        for (size_t i = 0; i < word.size(); ++i) {
            if (AsciiLower(text_[pos_ + i]) != word[i]) {
                return false;
            }
        }
        pos_ += word.size();
        return true;
    }

    bool ParseHeader() {
        std::u16string_view line = RestOfLine();
        while (!line.empty() && (line.back() == u' ' || line.back() == u'\t')) {
            line.remove_suffix(1);
        }
        if (line == std::u16string(kAnsiHeader.begin(), kAnsiHeader.end())) {
            ansiHexStrings_ = !wideText_;
        } else if (line != kHeader) {
            return Fail("expected the header 'Windows Registry Editor Version 5.00' or 'REGEDIT4'");
        }
        ConsumeLineEnd();
        return true;
    }

    // A string of the ANSI format's hex data becomes the UTF-16 string the registry holds, with the
    // terminating NUL the reading system adds when the file left it out.
    void WidenAnsiString(std::vector<BYTE>* data) {
        if (data->empty()) {
            return;
        }
        if (data->back() != 0) {
            data->push_back(0);
        }
        const std::u16string text =
            FromAnsi(std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
        data->clear();
        for (const char16_t c : text) {
            data->push_back(static_cast<BYTE>(c & 0xFF));
            data->push_back(static_cast<BYTE>(c >> 8));
        }
    }

    bool ParseSection() {
        Section section;
        section.line = line_;
        ++pos_;  // '['
        if (!AtEnd() && Peek() == u'-') {
            section.remove = true;
            ++pos_;
        }
        // Key names may hold ']', so the path runs to the last one on the line.
        std::u16string_view rest = RestOfLine();
        const size_t close = rest.rfind(u']');
        if (close == std::u16string_view::npos) {
            return Fail("missing ']' at the end of the key line");
        }
        if (rest.find_first_not_of(u" \t", close + 1) != std::u16string_view::npos) {
            return Fail("unexpected text after ']'");
        }
        if (close == 0) {
            return Fail("empty key path");
        }
        section.path.assign(rest.substr(0, close));
        ConsumeLineEnd();
        document_->sections.push_back(std::move(section));
        return true;
    }

    bool ParseQuoted(std::u16string* out) {
        const int startLine = line_;
        ++pos_;  // opening quote
        out->clear();
        while (true) {
            if (AtEnd()) {
                return FailAt(startLine, "unterminated string");
            }
            const char16_t c = text_[pos_++];
            if (c == u'"') {
                return true;
            }
            if (c == u'\\') {
                if (AtEnd() || (Peek() != u'\\' && Peek() != u'"')) {
                    return Fail("unknown escape in string (only \\\\ and \\\" are allowed)");
                }
                out->push_back(text_[pos_++]);
                continue;
            }
            if (c == u'\n' || (c == u'\r' && (AtEnd() || Peek() != u'\n'))) {
                ++line_;  // names may hold line breaks; they are written raw
            }
            out->push_back(c);
        }
    }

    bool ParseHexNumber(size_t maxDigits, DWORD* value, const char* what) {
        size_t digits = 0;
        DWORD result = 0;
        while (!AtEnd() && HexDigit(Peek()) >= 0) {
            if (++digits > maxDigits) {
                return Fail(std::string(what) + " has too many hex digits");
            }
            result = (result << 4) | static_cast<DWORD>(HexDigit(Peek()));
            ++pos_;
        }
        if (digits == 0) {
            return Fail(std::string("expected hex digits in ") + what);
        }
        *value = result;
        return true;
    }

    bool ParseHexBytes(std::vector<BYTE>* data) {
        SkipBlanks();
        if (AtLineEnd() || Peek() == u';') {
            return true;
        }
        while (true) {
            DWORD byte = 0;
            if (!ParseHexNumber(kMaxByteDigits, &byte, "a hex byte")) {
                return false;
            }
            data->push_back(static_cast<BYTE>(byte));
            SkipBlanks();
            if (AtEnd() || Peek() != u',') {
                return true;
            }
            ++pos_;
            SkipBlanks();
            if (!AtEnd() && Peek() == u'\\') {
                ++pos_;
                SkipBlanks();
                if (!AtLineEnd()) {
                    return Fail("unexpected text after the line continuation '\\'");
                }
                ConsumeLineEnd();
                SkipBlanks();
            }
        }
    }

    bool ParseData(ValueLine* value) {
        if (Peek() == u'-') {
            ++pos_;
            value->remove = true;
            return true;
        }
        if (Peek() == u'"') {
            std::u16string text;
            if (!ParseQuoted(&text)) {
                return false;
            }
            value->type = REG_SZ;
            for (const char16_t c : text) {
                value->data.push_back(static_cast<BYTE>(c & 0xFF));
                value->data.push_back(static_cast<BYTE>(c >> 8));
            }
            value->data.push_back(0);
            value->data.push_back(0);
            return true;
        }
        if (MatchWord(u"dword:")) {
            DWORD number = 0;
            if (!ParseHexNumber(kMaxTypeDigits, &number, "dword:")) {
                return false;
            }
            value->type = REG_DWORD;
            for (int shift = 0; shift < 32; shift += 8) {
                value->data.push_back(static_cast<BYTE>(number >> shift));
            }
            return true;
        }
        if (MatchWord(u"hex:")) {
            value->type = REG_BINARY;
            return ParseHexBytes(&value->data);
        }
        if (MatchWord(u"hex(")) {
            if (!ParseHexNumber(kMaxTypeDigits, &value->type, "hex(type)")) {
                return false;
            }
            if (!MatchWord(u"):")) {
                return Fail("expected '):' after the type of hex(type)");
            }
            if (!ParseHexBytes(&value->data)) {
                return false;
            }
            if (ansiHexStrings_ && IsStringType(value->type)) {
                WidenAnsiString(&value->data);
            }
            return true;
        }
        return Fail("unknown value data; expected \"string\", dword:, hex:, hex(type): or -");
    }

    bool ParseValue() {
        if (document_->sections.empty()) {
            return Fail("value line before the first [key] line");
        }
        ValueLine value;
        value.line = line_;
        if (Peek() == u'@') {
            ++pos_;
        } else if (!ParseQuoted(&value.name)) {
            return false;
        }
        SkipBlanks();
        if (AtEnd() || Peek() != u'=') {
            return Fail("expected '=' after value name");
        }
        ++pos_;
        SkipBlanks();
        if (AtLineEnd()) {
            return Fail("expected value data after '='");
        }
        if (!ParseData(&value) || !FinishLine("value data")) {
            return false;
        }
        Section& section = document_->sections.back();
        if (section.remove) {
            return FailAt(value.line, "value line under a key deletion");
        }
        section.values.push_back(std::move(value));
        return true;
    }

    std::u16string_view text_;
    const bool wideText_;
    bool ansiHexStrings_ = false;
    size_t pos_ = 0;
    int line_ = 1;
    Document* document_;
    ParseError* error_;
};

int LineOfOffset(std::string_view bytes, size_t offset) {
    return 1 + static_cast<int>(
                   std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

// Whether the first line that is neither blank nor a comment is the ANSI format's header.
bool HasAnsiHeader(std::string_view bytes) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t end = std::min(bytes.find_first_of("\r\n", pos), bytes.size());
        std::string_view line = bytes.substr(pos, end - pos);
        const size_t first = line.find_first_not_of(" \t");
        if (first != std::string_view::npos && line[first] != ';') {
            line.remove_prefix(first);
            const size_t last = line.find_last_not_of(" \t");
            return line.substr(0, last + 1) == kAnsiHeader;
        }
        pos = end + 1;
    }
    return false;
}

// *wide tells whether the text was UTF-16.
bool Decode(std::string_view bytes, std::u16string* text, bool* wide, ParseError* error) {
    *wide = bytes.starts_with(kUtf16LeBom);
    if (*wide) {
        bytes.remove_prefix(kUtf16LeBom.size());
        if (bytes.size() % 2 != 0) {
            error->line = 1;
            error->message = "UTF-16 text with an odd number of bytes";
            return false;
        }
        text->clear();
        for (size_t i = 0; i < bytes.size(); i += 2) {
            text->push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        return true;
    }
    if (bytes.starts_with(kUtf8Bom)) {
        bytes.remove_prefix(kUtf8Bom.size());
    } else if (HasAnsiHeader(bytes)) {
        *text = FromAnsi(bytes);
        return true;
    }
    size_t badOffset = 0;
    if (!FromUtf8(bytes, text, &badOffset)) {
        error->line = LineOfOffset(bytes, badOffset);
        error->message = "invalid UTF-8";
        return false;
    }
    return true;
}

// ---- writing ---------------------------------------------------------------------------------------------

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c < 0xDC00;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

char16_t UnitAt(const std::vector<BYTE>& data, size_t index) {
    return static_cast<char16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}

// The text of a REG_SZ that a quoted string carries exactly: whole UTF-16 units ending in the one NUL,
// nothing a line could not hold, nothing UTF-8 could not hold.
bool PlainString(const std::vector<BYTE>& data, std::u16string* text) {
    if (data.size() < 2 || data.size() % 2 != 0) {
        return false;
    }
    const size_t length = data.size() / 2 - 1;  // units before the NUL
    if (UnitAt(data, length) != 0) {
        return false;
    }
    text->clear();
    for (size_t i = 0; i < length; ++i) {
        const char16_t c = UnitAt(data, i);
        if (c < kFirstPrintable || IsLowSurrogate(c)) {
            return false;
        }
        if (IsHighSurrogate(c)) {
            if (i + 1 == length || !IsLowSurrogate(UnitAt(data, i + 1))) {
                return false;
            }
            text->push_back(c);
            ++i;
        }
        text->push_back(UnitAt(data, i));
    }
    return true;
}

void AppendQuoted(std::u16string_view text, std::string* out) {
    out->push_back('"');
    std::u16string escaped;
    escaped.reserve(text.size());
    for (const char16_t c : text) {
        if (c == u'\\' || c == u'"') {
            escaped.push_back(u'\\');
        }
        escaped.push_back(c);
    }
    out->append(ToUtf8(escaped));
    out->push_back('"');
}

void AppendHexBytes(const std::vector<BYTE>& data, size_t lineStart, std::string* out) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        out->push_back(kDigits[data[i] >> 4]);
        out->push_back(kDigits[data[i] & 0xF]);
        if (i + 1 == data.size()) {
            break;
        }
        out->push_back(',');
        if (out->size() - lineStart >= kHexWrapColumn) {
            out->append("\\\n  ");
            lineStart = out->size() - 2;
        }
    }
}

void AppendValue(const ValueLine& value, std::string* out) {
    if (value.name.empty()) {
        out->push_back('@');
    } else {
        AppendQuoted(value.name, out);
    }
    out->push_back('=');
    std::u16string text;
    if (value.remove) {
        out->push_back('-');
    } else if (value.type == REG_SZ && PlainString(value.data, &text)) {
        AppendQuoted(text, out);
    } else if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
        const DWORD number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                             (static_cast<DWORD>(value.data[3]) << 24);
        char buffer[sizeof("dword:xxxxxxxx")];
        std::snprintf(buffer, sizeof(buffer), "dword:%08x", static_cast<unsigned>(number));
        out->append(buffer);
    } else {
        if (value.type == REG_BINARY) {
            out->append("hex:");
        } else {
            char buffer[sizeof("hex(xxxxxxxx):")];
            std::snprintf(buffer, sizeof(buffer), "hex(%x):", static_cast<unsigned>(value.type));
            out->append(buffer);
        }
        // A name holding line breaks moves the start of the line the wrap column counts from.
        const size_t lastBreak = out->rfind('\n');
        AppendHexBytes(value.data, lastBreak == std::string::npos ? 0 : lastBreak + 1, out);
    }
    out->push_back('\n');
}

}  // namespace

bool Parse(std::string_view bytes, Document* document, ParseError* error) {
    document->sections.clear();
    std::u16string text;
    bool wide = false;
    if (!Decode(bytes, &text, &wide, error)) {
        return false;
    }
    return Parser(text, wide, document, error).Run();
}

std::string Write(const Document& document) {
    std::string out = ToUtf8(kHeader);
    out.append("\n\n");
    for (const Section& section : document.sections) {
        out.append(section.remove ? "[-" : "[");
        out.append(ToUtf8(section.path));
        out.append("]\n");
        for (const ValueLine& value : section.values) {
            AppendValue(value, &out);
        }
        out.push_back('\n');
    }
    return out;
}

}  // namespace ce::registry::regfile
