// cereg's parts in-process: key names, typed data, the command line and the yes-or-no question.
#include <gtest/gtest.h>

#include <sstream>

#include "command_line.h"
#include "confirm.h"
#include "key_name.h"
#include "value_text.h"

namespace {

// ---- key names

struct KeyCase {
    const char16_t* typed;
    HKEY root;
    const char16_t* fullName;
};

class KeyNames : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyNames, ResolveRootAndPath) {
    KeyName key;
    ASSERT_TRUE(ParseKeyName(GetParam().typed, &key));
    EXPECT_EQ(key.root, GetParam().root);
    EXPECT_EQ(key.FullName(), GetParam().fullName);
}

INSTANTIATE_TEST_SUITE_P(
    Cereg, KeyNames,
    ::testing::Values(KeyCase{u"HKLM\\Drivers\\BuiltIn", HKEY_LOCAL_MACHINE,
                              u"HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn"},
                      KeyCase{u"hkey_local_machine\\A", HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE\\A"},
                      KeyCase{u"Drivers\\Active", HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE\\Drivers\\Active"},
                      KeyCase{u"HKCU\\x\\", HKEY_CURRENT_USER, u"HKEY_CURRENT_USER\\x"},
                      KeyCase{u"HKU", HKEY_USERS, u"HKEY_USERS"},
                      KeyCase{u"HKCR\\", HKEY_CLASSES_ROOT, u"HKEY_CLASSES_ROOT"},
                      // A name that only starts like a root is a key under HKEY_LOCAL_MACHINE.
                      KeyCase{u"HKLMX\\y", HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE\\HKLMX\\y"}));

TEST(CeregKeyNames, RefuseEmptyParts) {
    for (const char16_t* typed : {u"", u"\\", u"\\Drivers", u"HKLM\\\\Drivers", u"a\\\\b", u"HKLM\\\\"}) {
        KeyName key;
        EXPECT_FALSE(ParseKeyName(typed, &key)) << "accepted a bad key name";
    }
}

// ---- typed data

struct DataCase {
    DWORD type;
    const char16_t* typed;
    std::vector<BYTE> bytes;
    const char16_t* shown;  // what query prints for the bytes
};

class TypedData : public ::testing::TestWithParam<DataCase> {};

TEST_P(TypedData, ParseToBytesAndShowAgain) {
    std::vector<BYTE> bytes{0xEE};
    std::string error;
    ASSERT_TRUE(ParseData(GetParam().type, GetParam().typed, u"\\0", &bytes, &error)) << error;
    EXPECT_EQ(bytes, GetParam().bytes);
    EXPECT_EQ(FormatData(GetParam().type, bytes), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cereg, TypedData,
    ::testing::Values(
        DataCase{REG_SZ, u"ab", {'a', 0, 'b', 0, 0, 0}, u"ab"}, DataCase{REG_SZ, u"", {0, 0}, u""},
        DataCase{REG_EXPAND_SZ, u"%x%", {'%', 0, 'x', 0, '%', 0, 0, 0}, u"%x%"},
        DataCase{REG_DWORD, u"4294967295", {0xFF, 0xFF, 0xFF, 0xFF}, u"0xffffffff"},
        DataCase{REG_DWORD, u"0x1F", {0x1F, 0, 0, 0}, u"0x1f"},
        DataCase{REG_DWORD, u"0", {0, 0, 0, 0}, u"0x0"},
        DataCase{REG_BINARY, u"0aFF00", {0x0A, 0xFF, 0x00}, u"0AFF00"}, DataCase{REG_BINARY, u"", {}, u""},
        DataCase{REG_MULTI_SZ, u"a\\0bc", {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}, u"a\\0bc"},
        DataCase{REG_MULTI_SZ, u"", {0, 0}, u""}));

TEST(CeregTypedData, ShowValuesNoPersonTyped) {
    // What programs store need not be well-formed: query must still show it, never read past it.
    EXPECT_EQ(FormatData(REG_SZ, {'a', 0, 'b'}), u"a");           // odd length, no NUL
    EXPECT_EQ(FormatData(REG_SZ, {'a', 0, 0, 0, 'z', 0}), u"a");  // text after the NUL
    EXPECT_EQ(FormatData(REG_DWORD, {1, 2}), u"0102");            // short DWORD shown as bytes
    EXPECT_EQ(FormatData(REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0, 'x', 0}), u"a");
    EXPECT_EQ(FormatData(0x1234, {0xAB}), u"AB");
    EXPECT_EQ(TypeName(0x1234), u"REG_0x1234");
}

TEST(CeregTypedData, RefuseWhatTheTypeCannotHold) {
    const std::pair<DWORD, const char16_t*> cases[] = {
        {REG_DWORD, u""},        {REG_DWORD, u"abc"},   {REG_DWORD, u"4294967296"},  {REG_DWORD, u"-1"},
        {REG_DWORD, u"0x"},      {REG_DWORD, u"0x1G"},  {REG_DWORD, u"12 "},         {REG_BINARY, u"abc"},
        {REG_BINARY, u"zz"},     {REG_BINARY, u"0x12"}, {REG_MULTI_SZ, u"a\\0\\0b"}, {REG_MULTI_SZ, u"a\\0"},
        {REG_MULTI_SZ, u"\\0a"}, {REG_NONE, u"x"},
    };
    for (const auto& [type, typed] : cases) {
        std::vector<BYTE> bytes;
        std::string error;
        EXPECT_FALSE(ParseData(type, typed, u"\\0", &bytes, &error)) << "type " << type;
        EXPECT_FALSE(error.empty());
    }
}

// ---- command lines

TEST(CeregCommandLine, RefusesWhatMakesNoSense) {
    const std::vector<std::vector<std::string>> bad = {
        {"frobnicate", "A"},
        {"query"},
        {"query", "A", "B"},
        {"query", "A", "/v"},
        {"query", "A", "/v", "x", "/ve"},
        {"query", "A", "/t", "REG_SZ"},
        {"query", "A", "/f"},
        {"add", "A", "/t", "REG_QWORD", "/v", "x"},
        {"add", "A", "/t", "reg_s", "/v", "x"},
        {"add", "A", "/d", "1"},
        {"add", "A", "/f", "/f"},
        {"delete", "A", "/va", "/v", "x"},
        {"delete", "A", "/y"},
        {"export", "A"},
        {"export", "A", "f.reg", "/f"},
        {"import"},
        {"import", "a.reg", "b.reg"},
        {"query", "A", "/x"},
    };
    for (const auto& args : bad) {
        Command command;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(args, &command, &error)) << args[0] << " " << args.size();
        EXPECT_FALSE(error.empty());
    }
}

// ---- the question

struct AnswerCase {
    const char* typed;
    bool interactive;
    Answer answer;
    int questions;  // how often it was asked
};

class Questions : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(Questions, ReadTheAnswer) {
    std::istringstream in(GetParam().typed);
    std::ostringstream out;
    EXPECT_EQ(Confirm("Delete it", GetParam().interactive, in, out), GetParam().answer);
    size_t asked = 0;
    for (size_t at = out.str().find("Delete it (Yes/No)? "); at != std::string::npos;
         at = out.str().find("Delete it (Yes/No)? ", at + 1)) {
        ++asked;
    }
    EXPECT_EQ(asked, static_cast<size_t>(GetParam().questions));
}

INSTANTIATE_TEST_SUITE_P(Cereg, Questions,
                         ::testing::Values(AnswerCase{"y\n", true, Answer::Yes, 1},
                                           AnswerCase{" YES \r\n", true, Answer::Yes, 1},
                                           AnswerCase{"no\n", true, Answer::No, 1},
                                           AnswerCase{"maybe\n\nN\n", true, Answer::No, 3},
                                           AnswerCase{"", true, Answer::No, 1},
                                           AnswerCase{"y\n", false, Answer::Refused, 0}));

}  // namespace
