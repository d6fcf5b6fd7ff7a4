// Keys: names and their case, creation order, paths, deletion, volatility, handles.
#include <string>
#include <vector>

#include "platform/registry/registry_test_support.h"

namespace {

using regtest::PrintTo;

using regtest::RegistryTest;

constexpr DWORD kLastErrorMarker = 0xdeadbeef;

TEST_F(RegistryTest, OpensWhateverTheCaseAndEnumeratesTheStoredCase) {
    HKEY created = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\Tulk0", 0, nullptr, 0, 0,
                                             nullptr, &created, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    ASSERT_EQ(ERROR_SUCCESS, Set(created, u"Prefix", REG_SZ, regtest::WideBytes(u"COM")));

    HKEY opened = Open(HKEY_LOCAL_MACHINE, u"DRIVERS\\builtin\\TULK0");
    EXPECT_EQ(REG_SZ, Get(opened, u"PREFIX").first);

    HKEY again = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"drivers\\BUILTIN\\tulk0", 0, nullptr, 0, 0,
                                             nullptr, &again, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    RegCloseKey(again);
    RegCloseKey(created);

    EXPECT_EQ(std::vector<std::u16string>{u"Drivers"}, SubkeyNames(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(std::vector<std::u16string>{u"BuiltIn"}, SubkeyNames(Open(HKEY_LOCAL_MACHINE, u"drivers")));
    EXPECT_EQ(std::vector<std::u16string>{u"Tulk0"},
              SubkeyNames(Open(HKEY_LOCAL_MACHINE, u"drivers\\builtin")));
}

struct FoldCase {
    const char* label;
    const char16_t* created;
    const char16_t* other;
    bool same;
};

class NameFolding : public RegistryTest, public ::testing::WithParamInterface<FoldCase> {};

TEST_P(NameFolding, FoldsOnlyAsciiAndLatin1Letters) {
    const FoldCase& c = GetParam();
    Create(HKEY_LOCAL_MACHINE, c.created);
    EXPECT_EQ(c.same, KeyExists(HKEY_LOCAL_MACHINE, c.other));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, NameFolding,
    ::testing::Values(FoldCase{"ascii", u"Serial", u"sERIAL", true},
                      FoldCase{"latin1 letters", u"\u00c4RGER\u00de", u"\u00e4rger\u00fe", true},
                      FoldCase{"times and divide are no letters", u"\u00d7", u"\u00f7", false},
                      FoldCase{"y diaeresis has no latin1 capital", u"\u00ff", u"\u0178", false},
                      FoldCase{"greek is not folded", u"\u03a3", u"\u03c3", false},
                      FoldCase{"digits differ", u"COM1", u"COM2", false}),
    regtest::LabelName<FoldCase>);

TEST_F(RegistryTest, SubkeysEnumerateInCreationOrder) {
    HKEY parent = Create(HKEY_LOCAL_MACHINE, u"Order");
    for (const char16_t* name : {u"b", u"A", u"c"}) {
        Create(parent, name);
    }
    EXPECT_EQ((std::vector<std::u16string>{u"b", u"A", u"c"}), SubkeyNames(parent));

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(parent, u"a"));
    Create(parent, u"a");
    EXPECT_EQ((std::vector<std::u16string>{u"b", u"c", u"a"}), SubkeyNames(parent));
}

TEST_F(RegistryTest, EnumKeyReportsShortBufferAndLeavesItUntouched) {
    HKEY parent = Create(HKEY_LOCAL_MACHINE, u"Parent");
    Create(parent, u"Tulk0");

    for (const WCHAR fill : {WCHAR(0x0000), WCHAR(0xFFFF)}) {
        WCHAR name[8];
        std::fill(std::begin(name), std::end(name), fill);
        DWORD count = 5;  // the name fits but its NUL does not
        EXPECT_EQ(ERROR_MORE_DATA,
                  RegEnumKeyExW(parent, 0, name, &count, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(6u, count);
        for (const WCHAR c : name) {
            EXPECT_EQ(fill, c);
        }
    }

    WCHAR name[6];
    DWORD count = 6;
    FILETIME written{};
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExW(parent, 0, name, &count, nullptr, nullptr, nullptr, &written));
    EXPECT_EQ(5u, count);
    EXPECT_EQ(u"Tulk0", std::u16string(name));
    EXPECT_NE(0u, written.dwHighDateTime);

    count = 6;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumKeyExW(parent, 1, name, &count, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumKeyExW(parent, MAXDWORD, name, &count, nullptr, nullptr, nullptr, nullptr));
}

struct PathCase {
    const char* label;
    std::u16string path;
    LONG expected;
    LONG openExpected;  // when creation is refused
};

class PathRules : public RegistryTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(PathRules, CreateAndOpenCheckThePath) {
    const PathCase& c = GetParam();
    HKEY key = reinterpret_cast<HKEY>(0x1234);
    const LONG created =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, c.path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr);
    EXPECT_EQ(c.expected, created);
    if (created == ERROR_SUCCESS) {
        RegCloseKey(key);
        HKEY opened = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, c.path.c_str(), 0, 0, &opened));
        RegCloseKey(opened);
    } else {
        EXPECT_EQ(nullptr, key);
        EXPECT_TRUE(SubkeyNames(HKEY_LOCAL_MACHINE).empty()) << "a refused path creates nothing";
        HKEY opened = reinterpret_cast<HKEY>(0x1234);
        EXPECT_EQ(c.openExpected, RegOpenKeyExW(HKEY_LOCAL_MACHINE, c.path.c_str(), 0, 0, &opened));
        EXPECT_EQ(nullptr, opened);
    }
}

std::u16string Repeat(const std::u16string& part, size_t times, const std::u16string& separator = u"") {
    std::u16string out;
    for (size_t i = 0; i < times; ++i) {
        out += (i == 0 ? u"" : separator) + part;
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, PathRules,
    ::testing::Values(
        PathCase{"plain", u"a\\b\\c", ERROR_SUCCESS, ERROR_SUCCESS},
        PathCase{"one trailing backslash", u"a\\b\\", ERROR_SUCCESS, ERROR_SUCCESS},
        PathCase{"leading backslash", u"\\a", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
        PathCase{"lone backslash", u"\\", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
        PathCase{"empty name between", u"a\\\\b", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
        PathCase{"two trailing backslashes", u"a\\\\", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
        PathCase{"longest name", u"x\\" + Repeat(u"n", 255), ERROR_SUCCESS, ERROR_SUCCESS},
        PathCase{"name too long", u"x\\" + Repeat(u"n", 256), ERROR_INVALID_PARAMETER,
                 ERROR_INVALID_PARAMETER},
        PathCase{"control character", u"a\tb", ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
        PathCase{"deepest path", Repeat(u"d", 512, u"\\"), ERROR_SUCCESS, ERROR_SUCCESS},
        PathCase{"path too deep", Repeat(u"d", 513, u"\\"), ERROR_INVALID_PARAMETER, ERROR_FILE_NOT_FOUND}),
    regtest::LabelName<PathCase>);

TEST_F(RegistryTest, NullOrEmptySubkeyOpensAnotherHandleToTheSameKey) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Same");
    for (const WCHAR* subkey : {static_cast<const WCHAR*>(nullptr), u""}) {
        HKEY other = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(key, subkey, 0, 0, &other));
        EXPECT_NE(key, other);
        ASSERT_EQ(ERROR_SUCCESS, SetDword(other, u"Seen", 1));
        EXPECT_EQ(REG_DWORD, Get(key, u"Seen").first);
        ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(other));
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"Seen")) << "closing one handle leaves the other open";
    }
}

TEST_F(RegistryTest, CloseHandleRefusesAKeyAndLeavesItOpen) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Kept");
    SetLastError(kLastErrorMarker);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(key)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, u"Still", 1));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(RegistryTest, DeleteRemovesTheWholeSubtreeAndOpenHandlesGoStale) {
    HKEY top = Create(HKEY_LOCAL_MACHINE, u"Top\\Middle\\Bottom");
    HKEY middle = Open(HKEY_LOCAL_MACHINE, u"Top\\Middle");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(top, u"v", 1));

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"TOP"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Top"));
    EXPECT_TRUE(SubkeyNames(HKEY_LOCAL_MACHINE).empty());

    // Recreating the path gives new keys; the old handles keep pointing at the deleted ones.
    Create(HKEY_LOCAL_MACHINE, u"Top\\Middle\\Bottom");
    for (HKEY stale : {top, middle}) {
        DWORD size = 0;
        WCHAR name[16];
        DWORD count = 16;
        HKEY child = nullptr;
        EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(stale, u"v", nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(ERROR_KEY_DELETED, SetDword(stale, u"v", 2));
        EXPECT_EQ(ERROR_KEY_DELETED,
                  RegEnumKeyExW(stale, 0, name, &count, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED,
                  RegCreateKeyExW(stale, u"x", 0, nullptr, 0, 0, nullptr, &child, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED, RegOpenKeyExW(stale, nullptr, 0, 0, &child));
        EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteKeyW(stale, u""));
        EXPECT_EQ(ERROR_KEY_DELETED, RegFlushKey(stale));
    }
    EXPECT_EQ(REG_NONE, Get(Open(HKEY_LOCAL_MACHINE, u"Top\\Middle\\Bottom"), u"v").first);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(top));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(top));
}

TEST_F(RegistryTest, DeleteWithEmptySubkeyDeletesTheKeyItselfButNeverARoot) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Doomed\\Child");
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(key, u""));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Doomed\\Child"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Doomed"));

    HKEY root = Open(HKEY_LOCAL_MACHINE, nullptr);
    for (HKEY rootHandle : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, root}) {
        EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(rootHandle, u""));
    }
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"NeverCreated"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Doomed"));
}

TEST_F(RegistryTest, VolatileKeysOnlyHoldVolatileChildren) {
    Create(HKEY_LOCAL_MACHINE, u"Vol", REG_OPTION_VOLATILE);

    HKEY refused = reinterpret_cast<HKEY>(0x1234);
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Vol\\Lasting\\Deeper", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, 0, nullptr, &refused, nullptr));
    EXPECT_EQ(nullptr, refused);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Vol\\Lasting"));

    Create(HKEY_LOCAL_MACHINE, u"Vol\\Child", REG_OPTION_VOLATILE);
    // An existing key opens whatever options are asked for.
    HKEY existing = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Vol\\Child", 0, nullptr,
                                             REG_OPTION_NON_VOLATILE, 0, nullptr, &existing, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    RegCloseKey(existing);

    // Keys created on the way to a volatile key are volatile too.
    Create(HKEY_LOCAL_MACHINE, u"Fresh\\Way\\Leaf", REG_OPTION_VOLATILE);
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Fresh\\Other", 0, nullptr,
                                                            0, 0, nullptr, &refused, nullptr));
}

// ---- bad handles and null pointers ----

struct CallCase {
    const char* label;
    LONG (*call)(HKEY key);
};

class BadHandles : public RegistryTest, public ::testing::WithParamInterface<CallCase> {};

TEST_P(BadHandles, AreRefusedWithoutTouchingTheLastError) {
    HKEY closed = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"k", 0, nullptr, 0, 0, nullptr, &closed, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);

    const HKEY bad[] = {nullptr,
                        closed,
                        reinterpret_cast<HKEY>(event),
                        reinterpret_cast<HKEY>(0x12345),
                        reinterpret_cast<HKEY>(0x80000004u),
                        reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)};
    for (HKEY key : bad) {
        SetLastError(kLastErrorMarker);
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetParam().call(key)) << "handle " << key;
        EXPECT_EQ(kLastErrorMarker, GetLastError());
    }
    EXPECT_EQ(TRUE, CloseHandle(event)) << "the event handle survived being passed as a key";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, BadHandles,
    ::testing::Values(CallCase{"Open",
                               [](HKEY k) {
                                   HKEY out = nullptr;
                                   return RegOpenKeyExW(k, u"x", 0, 0, &out);
                               }},
                      CallCase{"Create",
                               [](HKEY k) {
                                   HKEY out = nullptr;
                                   return RegCreateKeyExW(k, u"x", 0, nullptr, 0, 0, nullptr, &out, nullptr);
                               }},
                      CallCase{"Query",
                               [](HKEY k) {
                                   DWORD size = 0;
                                   return RegQueryValueExW(k, u"v", nullptr, nullptr, nullptr, &size);
                               }},
                      CallCase{"Set",
                               [](HKEY k) {
                                   const BYTE value[4] = {1};
                                   return RegSetValueExW(k, u"v", 0, REG_DWORD, value, sizeof(value));
                               }},
                      CallCase{"EnumKey",
                               [](HKEY k) {
                                   WCHAR name[8];
                                   DWORD count = 8;
                                   return RegEnumKeyExW(k, 0, name, &count, nullptr, nullptr, nullptr,
                                                        nullptr);
                               }},
                      CallCase{"EnumValue",
                               [](HKEY k) {
                                   WCHAR name[8];
                                   DWORD count = 8;
                                   return RegEnumValueW(k, 0, name, &count, nullptr, nullptr, nullptr,
                                                        nullptr);
                               }},
                      CallCase{"DeleteKey", [](HKEY k) { return RegDeleteKeyW(k, u"x"); }},
                      CallCase{"DeleteValue", [](HKEY k) { return RegDeleteValueW(k, u"v"); }},
                      CallCase{"QueryInfo",
                               [](HKEY k) {
                                   DWORD count = 0;
                                   return RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &count, nullptr,
                                                           nullptr, nullptr, nullptr, nullptr, nullptr,
                                                           nullptr);
                               }},
                      CallCase{"Flush", [](HKEY k) { return RegFlushKey(k); }},
                      CallCase{"Close", [](HKEY k) { return RegCloseKey(k); }}),
    regtest::LabelName<CallCase>);

class NullPointers : public RegistryTest, public ::testing::WithParamInterface<CallCase> {};

TEST_P(NullPointers, AreInvalidParameters) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Nulls");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"v", 7));
    Create(key, u"sub");
    SetLastError(kLastErrorMarker);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetParam().call(key));
    EXPECT_EQ(kLastErrorMarker, GetLastError());
    EXPECT_EQ(7u, Get(key, u"v").second.at(0)) << "a refused call changes nothing";
    EXPECT_TRUE(KeyExists(key, u"sub"));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, NullPointers,
    ::testing::Values(
        CallCase{
            "CreateWithoutResult",
            [](HKEY k) { return RegCreateKeyExW(k, u"x", 0, nullptr, 0, 0, nullptr, nullptr, nullptr); }},
        CallCase{"CreateWithoutSubkey",
                 [](HKEY k) {
                     HKEY out = nullptr;
                     return RegCreateKeyExW(k, nullptr, 0, nullptr, 0, 0, nullptr, &out, nullptr);
                 }},
        CallCase{"OpenWithoutResult", [](HKEY k) { return RegOpenKeyExW(k, u"sub", 0, 0, nullptr); }},
        CallCase{"DeleteWithoutSubkey", [](HKEY k) { return RegDeleteKeyW(k, nullptr); }},
        CallCase{"EnumKeyWithoutName",
                 [](HKEY k) {
                     DWORD count = 8;
                     return RegEnumKeyExW(k, 0, nullptr, &count, nullptr, nullptr, nullptr, nullptr);
                 }},
        CallCase{"EnumKeyWithoutCount",
                 [](HKEY k) {
                     WCHAR name[8];
                     return RegEnumKeyExW(k, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr);
                 }},
        CallCase{"EnumKeyClassWithoutCount",
                 [](HKEY k) {
                     WCHAR name[8], cls[8];
                     DWORD count = 8;
                     return RegEnumKeyExW(k, 0, name, &count, nullptr, cls, nullptr, nullptr);
                 }},
        CallCase{"EnumValueWithoutName",
                 [](HKEY k) {
                     DWORD count = 8;
                     return RegEnumValueW(k, 0, nullptr, &count, nullptr, nullptr, nullptr, nullptr);
                 }},
        CallCase{"EnumValueDataWithoutSize",
                 [](HKEY k) {
                     WCHAR name[8];
                     DWORD count = 8;
                     BYTE data[8];
                     return RegEnumValueW(k, 0, name, &count, nullptr, nullptr, data, nullptr);
                 }},
        CallCase{"QueryDataWithoutSize",
                 [](HKEY k) {
                     BYTE data[8];
                     return RegQueryValueExW(k, u"v", nullptr, nullptr, data, nullptr);
                 }},
        CallCase{"QueryWithReserved",
                 [](HKEY k) {
                     DWORD reserved = 0, size = 0;
                     return RegQueryValueExW(k, u"v", &reserved, nullptr, nullptr, &size);
                 }},
        CallCase{"SetWithoutData", [](HKEY k) { return RegSetValueExW(k, u"v", 0, REG_DWORD, nullptr, 4); }},
        CallCase{"QueryInfoClassWithoutCount",
                 [](HKEY k) {
                     WCHAR cls[8];
                     return RegQueryInfoKeyW(k, cls, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             nullptr, nullptr, nullptr, nullptr);
                 }}),
    regtest::LabelName<CallCase>);

}  // namespace
