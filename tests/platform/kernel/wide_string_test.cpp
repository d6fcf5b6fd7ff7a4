#include <gtest/gtest.h>

#include <string>

#include <windows.h>

namespace {

TEST(WideStrings, CopyConcatenateCompare) {
    WCHAR buffer[32];
    EXPECT_EQ(lstrcpyW(buffer, TEXT("COM")), buffer);
    lstrcatW(buffer, TEXT("5:"));
    EXPECT_EQ(std::u16string(buffer), u"COM5:");
    EXPECT_EQ(lstrlenW(buffer), 5);
    EXPECT_EQ(lstrlenW(nullptr), 0);

    WCHAR small[4];
    lstrcpynW(small, TEXT("KMX12"), 4);
    EXPECT_EQ(std::u16string(small), u"KMX") << "lstrcpyn keeps room for the NUL";

    EXPECT_EQ(lstrcmpiW(TEXT("Drivers\\Active"), TEXT("DRIVERS\\active")), 0);
    EXPECT_EQ(lstrcmpiW(u"\u00e9t\u00e9", u"\u00c9T\u00c9"), 0) << "Latin-1 letters fold too";
    EXPECT_LT(lstrcmpiW(TEXT("com1"), TEXT("COM2")), 0);
    EXPECT_NE(lstrcmpW(TEXT("com1"), TEXT("COM1")), 0);
    EXPECT_GT(lstrcmpW(TEXT("COM10"), TEXT("COM1")), 0);
}

struct FormatCase {
    const char16_t* format;
    std::u16string expected;
};

class WsprintfTest : public testing::TestWithParam<FormatCase> {};

TEST_P(WsprintfTest, Formats) {
    WCHAR out[1100];
    const FormatCase& c = GetParam();
    const int written = wsprintfW(out, c.format, 5, -12, 0xBEEFu, u"port", 'x');
    EXPECT_EQ(std::u16string(out), c.expected);
    EXPECT_EQ(written, static_cast<int>(c.expected.size()));
}

INSTANTIATE_TEST_SUITE_P(Conversions, WsprintfTest,
                         testing::Values(FormatCase{u"COM%d:", u"COM5:"}, FormatCase{u"%d %d", u"5 -12"},
                                         FormatCase{u"%u|%x|%X", u"5|fffffff4|BEEF"},
                                         FormatCase{u"%03d|%5d|%-4d|", u"005|  -12|48879|"},
                                         FormatCase{u"%d %d %x %s %c", u"5 -12 beef port x"},
                                         FormatCase{u"100%%", u"100%"},
                                         FormatCase{u"%d%d%d%.2s", u"5-1248879po"}));

TEST(WideStrings, WsprintfStopsAt1024Characters) {
    std::u16string longText(2000, u'a');
    std::u16string out(1100, u'#');
    EXPECT_EQ(wsprintfW(out.data(), u"%s", longText.c_str()), 1023);
    EXPECT_EQ(out[1023], u'\0');
    EXPECT_EQ(out[1024], u'#') << "nothing written past the limit";
}

}  // namespace
