// Values: exact bytes of every type, sizes, short buffers, enumeration order, deletion, name limits.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/registry/registry_test_support.h"

namespace {

using regtest::PrintTo;

using regtest::Bytes;
using regtest::RegistryTest;
using regtest::WideBytes;

class EveryKind : public RegistryTest, public ::testing::WithParamInterface<regtest::TypedValue> {};

TEST_P(EveryKind, StoresTheBytesExactlyAsGiven) {
    const regtest::TypedValue& v = GetParam();
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Kinds");
    ASSERT_EQ(ERROR_SUCCESS, Set(key, v.name, v.type, v.data));
    const auto [type, data] = Get(key, v.name);
    EXPECT_EQ(v.type, type);
    EXPECT_EQ(v.data, data);
}

INSTANTIATE_TEST_SUITE_P(Values, EveryKind, ::testing::ValuesIn(regtest::EveryKindOfValue()),
                         regtest::LabelName<regtest::TypedValue>);

TEST_F(RegistryTest, ShortBufferGetsTheNeededSizeAndStaysUntouched) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Short");
    const std::vector<BYTE> value = WideBytes(u"tulk.dll");
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Dll", REG_SZ, value));

    for (const BYTE fill : {BYTE(0x00), BYTE(0xFF)}) {
        std::vector<BYTE> buffer(value.size() - 1, fill);
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD type = 0xdeadbeef;
        EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key, u"Dll", nullptr, &type, buffer.data(), &size));
        EXPECT_EQ(value.size(), size);
        EXPECT_EQ(REG_SZ, type);
        EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [fill](BYTE b) { return b == fill; }));
    }

    std::vector<BYTE> buffer(value.size() + 4, 0xFF);
    DWORD size = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Dll", nullptr, nullptr, buffer.data(), &size));
    EXPECT_EQ(value.size(), size);
    EXPECT_TRUE(std::equal(value.begin(), value.end(), buffer.begin()));
    EXPECT_EQ(0xFF, buffer[value.size()]) << "nothing is written past the value";
}

TEST_F(RegistryTest, QueryWithoutBuffersAnswersTypeAndSize) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Probe");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"Index", 5));

    DWORD type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Index", nullptr, &type, nullptr, nullptr));
    EXPECT_EQ(REG_DWORD, type);
    DWORD size = 0xdeadbeef;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"INDEX", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(4u, size);
}

TEST_F(RegistryTest, MissingValueIsNotFoundAndOutputsStayUntouched) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Missing");
    DWORD type = 0xdeadbeef;
    DWORD size = 8;
    BYTE data[8] = {0xAA};
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key, u"Nope", nullptr, &type, data, &size));
    EXPECT_EQ(0xdeadbeef, type);
    EXPECT_EQ(8u, size);
    EXPECT_EQ(0xAA, data[0]);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key, u"Nope"));
}

TEST_F(RegistryTest, NullAndEmptyNamesAreTheDefaultValue) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Default");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, nullptr, 3));
    EXPECT_EQ(Bytes({3, 0, 0, 0}), Get(key, u"").second);
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"", 4));
    EXPECT_EQ(Bytes({4, 0, 0, 0}), Get(key, nullptr).second);
    EXPECT_EQ(std::vector<std::u16string>{u""}, ValueNames(key));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, nullptr));
    EXPECT_TRUE(ValueNames(key).empty());
}

TEST_F(RegistryTest, ValuesEnumerateInCreationOrderAndReplacementKeepsItsPlace) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"ValueOrder");
    for (const WCHAR* name : {u"zeta", u"Alpha", u"mid"}) {
        ASSERT_EQ(ERROR_SUCCESS, SetDword(key, name, 1));
    }
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"ALPHA", REG_SZ, WideBytes(u"now a string")));
    EXPECT_EQ((std::vector<std::u16string>{u"zeta", u"Alpha", u"mid"}), ValueNames(key));
    EXPECT_EQ(REG_SZ, Get(key, u"alpha").first);

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"ZETA"));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"zeta", 2));
    EXPECT_EQ((std::vector<std::u16string>{u"Alpha", u"mid", u"zeta"}), ValueNames(key));
}

TEST_F(RegistryTest, EnumValueReportsShortBuffersAndLeavesThemUntouched) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"EnumValues");
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Prefix", REG_SZ, WideBytes(u"COM")));

    struct Limits {
        DWORD nameChars;
        DWORD dataBytes;
    };
    for (const Limits limits : {Limits{6, 64}, Limits{64, 7}}) {
        WCHAR name[64];
        BYTE data[64];
        std::fill(std::begin(name), std::end(name), WCHAR(0xFFFF));
        std::fill(std::begin(data), std::end(data), BYTE(0xFF));
        DWORD nameChars = limits.nameChars;
        DWORD dataBytes = limits.dataBytes;
        DWORD type = 0;
        EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 0, name, &nameChars, nullptr, &type, data, &dataBytes));
        EXPECT_EQ(7u, nameChars) << "room for the name and its NUL";
        EXPECT_EQ(8u, dataBytes);
        EXPECT_EQ(REG_SZ, type);
        EXPECT_EQ(WCHAR(0xFFFF), name[0]);
        EXPECT_EQ(0xFF, data[0]);
    }

    WCHAR name[7];
    BYTE data[8];
    DWORD nameChars = 7;
    DWORD dataBytes = 8;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueW(key, 0, name, &nameChars, nullptr, nullptr, data, &dataBytes));
    EXPECT_EQ(6u, nameChars);
    EXPECT_EQ(u"Prefix", std::u16string(name));
    EXPECT_EQ(WideBytes(u"COM"), std::vector<BYTE>(data, data + dataBytes));

    nameChars = 7;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueW(key, 1, name, &nameChars, nullptr, nullptr, nullptr, nullptr));
}

struct NameLimitCase {
    const char* label;
    size_t length;
    LONG expected;
};

class ValueNameLimit : public RegistryTest, public ::testing::WithParamInterface<NameLimitCase> {};

TEST_P(ValueNameLimit, AppliesToEveryValueCall) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Limits");
    const std::u16string name(GetParam().length, u'n');
    EXPECT_EQ(GetParam().expected, SetDword(key, name.c_str(), 1));
    DWORD size = 0;
    const LONG queried = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size);
    const LONG deleted = RegDeleteValueW(key, name.c_str());
    if (GetParam().expected == ERROR_SUCCESS) {
        EXPECT_EQ(ERROR_SUCCESS, queried);
        EXPECT_EQ(ERROR_SUCCESS, deleted);
    } else {
        EXPECT_EQ(GetParam().expected, queried);
        EXPECT_EQ(GetParam().expected, deleted);
        EXPECT_TRUE(ValueNames(key).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Values, ValueNameLimit,
                         ::testing::Values(NameLimitCase{"longest", 16383, ERROR_SUCCESS},
                                           NameLimitCase{"too_long", 16384, ERROR_INVALID_PARAMETER}),
                         regtest::LabelName<NameLimitCase>);

TEST_F(RegistryTest, ValuesUpToTheLimitKeepEveryByteAndLargerOnesAreRefused) {
    constexpr size_t kLargestValueBytes = 1 << 20;
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Large");
    std::vector<BYTE> data(kLargestValueBytes);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<BYTE>(i * 7 + (i >> 8));
    }
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Blob", REG_BINARY, data));
    std::vector<BYTE> larger(kLargestValueBytes + 1, 0x5A);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, Set(key, u"Blob", REG_BINARY, larger));
    EXPECT_EQ(data, Get(key, u"Blob").second);
}

}  // namespace
