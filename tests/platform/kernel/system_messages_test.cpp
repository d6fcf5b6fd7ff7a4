// The system's message table: every error code the platform's headers define has its words, and
// FormatMessageW answers as Win32's does for buffers and codes it cannot serve.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

namespace {

constexpr DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// The codes winerror.h defines, by name.
std::vector<std::pair<std::string, DWORD>> DefinedCodes() {
    std::ifstream header(WINERROR_HEADER);
    std::vector<std::pair<std::string, DWORD>> codes;
    for (std::string line; std::getline(header, line);) {
        std::istringstream words(line);
        std::string directive, name, value;
        words >> directive >> name >> value;
        const bool named = name.rfind("ERROR_", 0) == 0 || name.rfind("WAIT_", 0) == 0;
        if (directive != "#define" || !named || value.size() < 2 || value.back() != 'L' ||
            value.find_first_not_of("0123456789") != value.size() - 1) {
            continue;
        }
        codes.emplace_back(name, static_cast<DWORD>(std::stoul(value)));
    }
    return codes;
}

TEST(SystemMessages, EveryErrorThePlatformDefinesHasWords) {
    const auto codes = DefinedCodes();
    ASSERT_GT(codes.size(), 60u);
    for (const auto& [name, code] : codes) {
        WCHAR text[512];
        const DWORD chars = FormatMessageW(kSystem, nullptr, code, 0, text, 512, nullptr);
        ASSERT_GT(chars, 2u) << name;
        EXPECT_EQ(std::u16string(text + chars - 2), u"\r\n") << name;
        EXPECT_EQ(static_cast<DWORD>(lstrlenW(text)), chars) << name;
    }
}

TEST(SystemMessages, BuffersAndCodesWithoutAMessageAnswerAsOnWin32) {
    const std::u16string expected = u"The access code is invalid.\r\n";
    WCHAR small[8];
    std::fill(std::begin(small), std::end(small), u'#');
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageW(kSystem, nullptr, ERROR_INVALID_ACCESS, 0, small, 8, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(small[0], u'#');

    LPWSTR allocated = nullptr;
    EXPECT_EQ(FormatMessageW(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, ERROR_INVALID_ACCESS, 0,
                             reinterpret_cast<LPWSTR>(&allocated), 0, nullptr),
              expected.size());
    ASSERT_NE(allocated, nullptr);
    EXPECT_EQ(std::u16string(allocated), expected);
    LocalFree(allocated);

    WCHAR text[64];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageW(kSystem, nullptr, 0x7FFF1234, 0, text, 64, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING, u"x", 0, 0, text, 64, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
