// The .reg reader and writer on their own, without a live registry.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/registry/registry_test_support.h"
#include "registry/reg_file.h"
#include "registry/text_codec.h"

namespace {

using regtest::PrintTo;

using ce::registry::regfile::Document;
using ce::registry::regfile::Parse;
using ce::registry::regfile::ParseError;
using ce::registry::regfile::Section;
using ce::registry::regfile::ValueLine;
using ce::registry::regfile::Write;
using regtest::Bytes;
using regtest::WideBytes;

ValueLine Value(std::u16string name, DWORD type, std::vector<BYTE> data) {
    ValueLine value;
    value.name = std::move(name);
    value.type = type;
    value.data = std::move(data);
    return value;
}

Section Key(std::u16string path, std::vector<ValueLine> values = {}) {
    Section section;
    section.path = std::move(path);
    section.values = std::move(values);
    return section;
}

// Compares what a document carries, ignoring where its lines were read.
void ExpectSameDocument(const Document& expected, const Document& actual) {
    ASSERT_EQ(expected.sections.size(), actual.sections.size());
    for (size_t s = 0; s < expected.sections.size(); ++s) {
        const Section& e = expected.sections[s];
        const Section& a = actual.sections[s];
        EXPECT_EQ(e.path, a.path) << "section " << s;
        EXPECT_EQ(e.remove, a.remove) << "section " << s;
        ASSERT_EQ(e.values.size(), a.values.size()) << "section " << s;
        for (size_t v = 0; v < e.values.size(); ++v) {
            EXPECT_EQ(e.values[v].name, a.values[v].name);
            EXPECT_EQ(e.values[v].remove, a.values[v].remove);
            EXPECT_EQ(e.values[v].type, a.values[v].type);
            EXPECT_EQ(e.values[v].data, a.values[v].data) << "value " << v << " of section " << s;
        }
    }
}

TEST(RegFile, WritesTheExpectedText) {
    Document document;
    ValueLine removed = Value(u"Old", REG_NONE, {});
    removed.remove = true;
    Section gone = Key(u"HKEY_LOCAL_MACHINE\\Gone");
    gone.remove = true;
    document.sections = {
        Key(u"HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Tulk0",
            {Value(u"", REG_SZ, WideBytes(u"d")), Value(u"Dll", REG_SZ, WideBytes(u"tulk.dll")),
             Value(u"Index", REG_DWORD, Bytes({0x0A, 0x00, 0x00, 0xF0})),
             Value(u"a\"b\\", REG_BINARY, Bytes({1, 0xAB})), removed}),
        gone,
    };
    EXPECT_EQ(
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Tulk0]\n"
        "@=\"d\"\n"
        "\"Dll\"=\"tulk.dll\"\n"
        "\"Index\"=dword:f000000a\n"
        "\"a\\\"b\\\\\"=hex:01,ab\n"
        "\"Old\"=-\n"
        "\n"
        "[-HKEY_LOCAL_MACHINE\\Gone]\n"
        "\n",
        Write(document));
}

TEST(RegFile, FoldsLongHexListsWithContinuations) {
    Document document;
    document.sections = {Key(u"HKEY_USERS\\K", {Value(u"Blob", REG_BINARY, std::vector<BYTE>(64, 0x5A))})};
    const std::string text = Write(document);
    std::istringstream lines(text);
    int continued = 0;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;
        if (line.ends_with(",\\")) {
            ++continued;
        }
    }
    EXPECT_EQ(2, continued) << text;
    EXPECT_NE(std::string::npos, text.find(",\\\n  5a,")) << text;
    Document back;
    ParseError error;
    ASSERT_TRUE(Parse(text, &back, &error)) << error.line << ": " << error.message;
    ExpectSameDocument(document, back);
}

TEST(RegFile, RoundTripsAwkwardNamesAndBytes) {
    Document document;
    std::vector<ValueLine> values;
    for (const regtest::TypedValue& v : regtest::EveryKindOfValue()) {
        values.push_back(Value(v.name, v.type, v.data));
    }
    values.push_back(Value(u"lone \xDC00 surrogate", REG_DWORD, Bytes({1, 2, 3, 4})));
    values.push_back(Value(u"cr\rlf\r\nend", REG_SZ, WideBytes(u"x")));
    values.push_back(Value(u"every byte", REG_BINARY, {}));
    for (int b = 0; b < 256; ++b) {
        values.back().data.push_back(static_cast<BYTE>(b));
    }
    document.sections = {Key(u"HKEY_LOCAL_MACHINE\\A]b[c\\\xD800", std::move(values)),
                         Key(u"HKEY_CURRENT_USER\\\u00e9\U0001F600")};
    Document back;
    ParseError error;
    ASSERT_TRUE(Parse(Write(document), &back, &error)) << error.line << ": " << error.message;
    ExpectSameDocument(document, back);
}

TEST(RegFile, ReadsUtf16WithByteOrderMark) {
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\W]\r\n\"S\"=\"\u00e9\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (const char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    Document document;
    ParseError error;
    ASSERT_TRUE(Parse(bytes, &document, &error)) << error.message;
    ASSERT_EQ(1u, document.sections.size());
    EXPECT_EQ(u"HKEY_USERS\\W", document.sections[0].path);
    ASSERT_EQ(1u, document.sections[0].values.size());
    EXPECT_EQ(WideBytes(u"\u00e9"), document.sections[0].values[0].data);
    EXPECT_EQ(4, document.sections[0].values[0].line);
}

// The older format: ANSI text, and the strings of hex(1), hex(2) and hex(7) data in ANSI bytes, which the
// registry holds as UTF-16 with a NUL added where the file left it out. A UTF-16 file keeps its hex strings.
TEST(RegFile, ReadsTheAnsiFormat) {
    const std::string text =
        "; exported\r\nREGEDIT4\r\n\r\n[HKEY_USERS\\\x80]\r\n\"S\"=\"\xe9\\\"\"\r\n"
        "\"E\"=hex(2):25,41,25\r\n\"M\"=hex(7):61,00,\\\r\n  62,00,00\r\n\"B\"=hex:80\r\n";
    Document document;
    ParseError error;
    ASSERT_TRUE(Parse(text, &document, &error)) << error.line << ": " << error.message;
    ASSERT_EQ(1u, document.sections.size());
    EXPECT_EQ(u"HKEY_USERS\\\u20ac", document.sections[0].path);
    const std::vector<ValueLine>& values = document.sections[0].values;
    ASSERT_EQ(4u, values.size());
    EXPECT_EQ(WideBytes(u"\u00e9\""), values[0].data);
    EXPECT_EQ(WideBytes(u"%A%"), values[1].data);
    EXPECT_EQ(REG_EXPAND_SZ, values[1].type);
    EXPECT_EQ(WideBytes(std::u16string(u"a\0b\0", 4)), values[2].data);
    EXPECT_EQ(Bytes({0x80}), values[3].data) << "binary data is not text";

    std::string wide = "\xFF\xFE";
    for (const char c : std::string("REGEDIT4\n[HKEY_USERS\\W]\n\"E\"=hex(2):41,00,00,00\n")) {
        wide.push_back(c);
        wide.push_back(0);
    }
    ASSERT_TRUE(Parse(wide, &document, &error)) << error.message;
    EXPECT_EQ(WideBytes(u"A"), document.sections[0].values[0].data);
}

TEST(RegFile, BlankTextIsAnEmptyDocument) {
    Document document;
    document.sections.push_back(Key(u"stale"));
    ParseError error;
    ASSERT_TRUE(Parse(" \n; only a comment\n\n", &document, &error));
    EXPECT_TRUE(document.sections.empty());
}

struct BadText {
    const char* label;
    std::string text;
    int line;
    const char* says;
};

class RegFileErrors : public ::testing::TestWithParam<BadText> {};

TEST_P(RegFileErrors, NameTheLine) {
    Document document;
    ParseError error;
    ASSERT_FALSE(Parse(GetParam().text, &document, &error));
    EXPECT_EQ(GetParam().line, error.line);
    EXPECT_NE(std::string::npos, error.message.find(GetParam().says)) << error.message;
}

const std::string kHead = "Windows Registry Editor Version 5.00\n";

INSTANTIATE_TEST_SUITE_P(
    RegFile, RegFileErrors,
    ::testing::Values(
        BadText{"odd UTF-16", "\xFF\xFE\x41", 1, "odd"},
        BadText{"unclosed hex type", kHead + "[HKEY_USERS\\K]\n\"v\"=hex(7:00\n", 3, "'):'"},
        BadText{"value under deletion", kHead + "[-HKEY_USERS\\K]\n\"v\"=dword:1\n", 3, "deletion"},
        BadText{"empty key path", kHead + "\n\n[]\n", 4, "empty key path"},
        BadText{"text after key line", kHead + "[HKEY_USERS\\K] x\n", 2, "after ']'"},
        BadText{"no data", kHead + "[HKEY_USERS\\K]\n\"v\"=\n", 3, "value data"},
        BadText{"trailing comma", kHead + "[HKEY_USERS\\K]\n\"v\"=hex:01,\n", 3, "hex"},
        BadText{"string then junk", kHead + "[HKEY_USERS\\K]\n\"v\"=\"a\"b\n", 3, "unexpected text"},
        BadText{"unterminated name spanning lines", kHead + "[HKEY_USERS\\K]\n\"v\n\n", 3, "unterminated"},
        BadText{"raw line break counts", kHead + "[HKEY_USERS\\K]\n\"a\nb\"=dword:1\n\"c\" dword:2\n", 5,
                "'='"},
        BadText{"overlong UTF-8", kHead + "\n[HKEY_USERS\\\xC0\x80]\n", 3, "UTF-8"},
        BadText{"truncated UTF-8", kHead + "[HKEY_USERS\\\xE2\x82", 2, "UTF-8"},
        BadText{"beyond last code point", kHead + "[HKEY_USERS\\\xF4\x90\x80\x80]\n", 2, "UTF-8"},
        BadText{"no header", "[HKEY_USERS\\K]\n", 1, "header"},
        BadText{"text after continuation", kHead + "[HKEY_USERS\\K]\n\"b\"=hex:01,\\ x\n", 3, "\\"},
        BadText{"dword too long", kHead + "[HKEY_USERS\\K]\n\"d\"=dword:123456789\n", 3, "dword"},
        BadText{"unknown escape", kHead + "[HKEY_USERS\\K]\n\"a\\n\"=\"x\"\n", 3, "escape"},
        BadText{"value before key", kHead + "\"x\"=dword:1\n", 2, "before the first"},
        BadText{"unclosed key line", kHead + "[HKEY_USERS\\K\n", 2, "']'"},
        BadText{"stray text", kHead + "[HKEY_USERS\\K]\nx=1\n", 3, "expected a [key] line"}),
    regtest::LabelName<BadText>);

TEST(TextCodec, LoneSurrogatesSurviveUtf8) {
    const std::u16string text =
        u"a\xD800"
        u"b\xDFFF\U0001F600";
    std::u16string back;
    size_t bad = 0;
    ASSERT_TRUE(ce::registry::FromUtf8(ce::registry::ToUtf8(text), &back, &bad));
    EXPECT_EQ(text, back);
    EXPECT_EQ("\xF0\x9F\x98\x80", ce::registry::ToUtf8(u"\U0001F600")) << "real pairs are plain UTF-8";
}

TEST(TextCodec, ReportsTheOffsetOfABadSequence) {
    std::u16string text;
    size_t bad = 0;
    EXPECT_FALSE(ce::registry::FromUtf8("ab\x80", &text, &bad));
    EXPECT_EQ(2u, bad);
    EXPECT_FALSE(ce::registry::FromUtf8("\xC3\xA9\xE0\x80\x80", &text, &bad));
    EXPECT_EQ(2u, bad);
}

}  // namespace
