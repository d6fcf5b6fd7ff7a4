// Helpers shared by the registry tests: a fixture that starts from an empty registry, a scratch folder for
// hive files (the tools tests' one), and short forms of the calls the tests repeat.
#pragma once

#include <cctype>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <ceplatform.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <winreg.h>

#include "tools/program_runner.h"
#ifdef CE_TEST_HOST_PROGRAM
#include "platform/host/host_test_support.h"
#endif

namespace regtest {

inline std::u16string Wide(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// Test names for parameter tables whose rows carry a label.
template <class Row>
std::string LabelName(const ::testing::TestParamInfo<Row>& info) {
    std::string name = info.param.label;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

// Rows print as their label, so test listings stay readable and stable.
template <class Row>
requires requires(const Row& row) {
    row.label;
}
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.label;
}

inline std::vector<BYTE> Bytes(std::initializer_list<int> values) {
    std::vector<BYTE> bytes;
    for (const int v : values) {
        bytes.push_back(static_cast<BYTE>(v));
    }
    return bytes;
}

// UTF-16LE bytes of text, with the NUL when asked.
inline std::vector<BYTE> WideBytes(std::u16string_view text, bool withNul = true) {
    std::vector<BYTE> bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    if (withNul) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

inline bool KeyExists(HKEY base, const WCHAR* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(base, path, 0, 0, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

using ScratchDir = tooltest::ScratchDirectory;
using tooltest::ReadWholeFile;
using tooltest::WriteWholeFile;

#ifdef CE_TEST_HOST_PROGRAM
// Built into the host's tests, the cases run through a device host of their own, whose registry is as
// empty.
using RegistryBase = hosttest::HostTest;
#else
class RegistryBase : public ::testing::Test {
  protected:
    void SetUp() override { CePlatformReset(); }
    void TearDown() override { CeRegistryUseHive(nullptr); }
};
#endif

// Every test starts from an empty registry; keys it opens through Open/Create are closed after.
class RegistryTest : public RegistryBase {
  protected:
    void TearDown() override {
        for (HKEY key : opened_) {
            RegCloseKey(key);
        }
        RegistryBase::TearDown();
    }

    HKEY Create(HKEY base, const WCHAR* path, DWORD options = REG_OPTION_NON_VOLATILE) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(base, path, 0, nullptr, options, 0, nullptr, &key, nullptr))
            << "creating a key";
        opened_.push_back(key);
        return key;
    }

    HKEY Open(HKEY base, const WCHAR* path) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(base, path, 0, 0, &key)) << "opening a key";
        opened_.push_back(key);
        return key;
    }

    static LONG Set(HKEY key, const WCHAR* name, DWORD type, const std::vector<BYTE>& data) {
        return RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
    }

    static LONG SetDword(HKEY key, const WCHAR* name, DWORD value) {
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }

    // The value's type and bytes; the type is REG_NONE and the bytes empty when the query fails.
    static std::pair<DWORD, std::vector<BYTE>> Get(HKEY key, const WCHAR* name) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return {REG_NONE, {}};
        }
        std::vector<BYTE> data(size);
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, &type, data.data(), &size));
        return {type, data};
    }

    static std::vector<std::u16string> SubkeyNames(HKEY key) {
        std::vector<std::u16string> names;
        WCHAR name[256];
        for (DWORD index = 0;; ++index) {
            DWORD count = 256;
            const LONG status = RegEnumKeyExW(key, index, name, &count, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
                return names;
            }
            names.emplace_back(name, count);
        }
    }

    static std::vector<std::u16string> ValueNames(HKEY key) {
        std::vector<std::u16string> names;
        std::u16string name(16384, u'\0');
        for (DWORD index = 0;; ++index) {
            DWORD count = static_cast<DWORD>(name.size());
            const LONG status =
                RegEnumValueW(key, index, name.data(), &count, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
                return names;
            }
            names.emplace_back(name.data(), count);
        }
    }

    static bool KeyExists(HKEY base, const WCHAR* path) { return regtest::KeyExists(base, path); }

  private:
    std::vector<HKEY> opened_;
};

// One value of each kind the registry stores, including the byte patterns a quoted string cannot carry.
struct TypedValue {
    const char* label;
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> data;
};

inline std::vector<TypedValue> EveryKindOfValue() {
    return {
        {"string", u"Dll", REG_SZ, WideBytes(u"tulk.dll")},
        {"string with escapes", u"Path \"quoted\" \\ back", REG_SZ, WideBytes(u"C:\\dir\\\"x\"\\")},
        {"empty string", u"Empty", REG_SZ, WideBytes(u"")},
        {"string without NUL", u"NoNul", REG_SZ, WideBytes(u"abc", false)},
        {"odd-sized string", u"Odd", REG_SZ, Bytes({0x41, 0x00, 0x42})},
        {"string with embedded NUL", u"Embedded", REG_SZ, WideBytes(std::u16string(u"a\0b", 3))},
        {"string with line break", u"Lines", REG_SZ, WideBytes(u"one\ntwo")},
        {"string with lone surrogate", u"Surrogate", REG_SZ, WideBytes(u"x\xD800y")},
        {"zero-length string", u"Nothing", REG_SZ, {}},
        {"non-ASCII string", u"Name\u00e9\u4e2d", REG_SZ, WideBytes(u"\u00c4rger \U0001F600")},
        {"dword", u"Index", REG_DWORD, Bytes({0x05, 0x00, 0x00, 0x00})},
        {"short dword", u"ShortDword", REG_DWORD, Bytes({0x01, 0x02, 0x03})},
        {"big-endian dword", u"BigEndian", REG_DWORD_BIG_ENDIAN, Bytes({0x00, 0x00, 0x01, 0x00})},
        {"qword", u"Qword", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 0x80})},
        {"multi string", u"Multi", REG_MULTI_SZ, WideBytes(std::u16string(u"a\0bc\0", 5))},
        {"expand string", u"Expand", REG_EXPAND_SZ, WideBytes(u"%WINDIR%\\x")},
        {"binary", u"Binary", REG_BINARY, Bytes({0x00, 0xFF, 0x10, 0x7F})},
        {"long binary", u"LongBinary", REG_BINARY, std::vector<BYTE>(300, 0xA5)},
        {"empty binary", u"EmptyBinary", REG_BINARY, {}},
        {"none", u"None", REG_NONE, Bytes({9})},
        {"unnamed type", u"Custom", 0x12345678u, Bytes({1, 2})},
        {"default value", u"", REG_SZ, WideBytes(u"default")},
        {"name with line break", u"two\nlines", REG_DWORD, Bytes({1, 0, 0, 0})},
    };
}

}  // namespace regtest
