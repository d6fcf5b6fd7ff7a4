// The hive file: round trips, what is and is not saved, refusing malformed files (what the reader refuses is
// reg_file_test's table), interrupted saves.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry/registry_test_support.h"

namespace {

using regtest::PrintTo;

namespace fs = std::filesystem;
using regtest::ReadWholeFile;
using regtest::RegistryTest;
using regtest::WideBytes;
using regtest::WriteWholeFile;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n";

class HiveTest : public RegistryTest {
  protected:
    std::string HivePath() const { return dir_.File("hive.reg"); }

    // Forgets the registry in memory and loads it back from the hive.
    void Reload() {
        CePlatformReset();
        ASSERT_TRUE(CeRegistryUseHive(HivePath().c_str())) << CeRegistryLastError();
    }

    regtest::ScratchDir dir_;
};

TEST_F(HiveTest, EveryKindOfValueSurvivesASaveAndALoadByteForByte) {
    ASSERT_TRUE(CeRegistryUseHive(HivePath().c_str()));
    EXPECT_FALSE(fs::exists(HivePath())) << "a missing hive is created on the first change";
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\Tulk0");
    EXPECT_TRUE(fs::exists(HivePath()));
    const std::vector<regtest::TypedValue> values = regtest::EveryKindOfValue();
    std::vector<std::u16string> names;
    for (const regtest::TypedValue& v : values) {
        ASSERT_EQ(ERROR_SUCCESS, Set(key, v.name, v.type, v.data)) << v.label;
        names.push_back(v.name);
    }
    Create(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\\u00c9t\u00e9 ]x[");
    Create(HKEY_LOCAL_MACHINE, u"Drivers\\Active");
    Create(HKEY_CURRENT_USER, u"Software\\Empty");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, u"OnTheRoot", 7));
    const std::string saved = ReadWholeFile(HivePath());

    Reload();
    HKEY loaded = Open(HKEY_LOCAL_MACHINE, u"drivers\\builtin\\tulk0");
    for (const regtest::TypedValue& v : values) {
        const auto [type, data] = Get(loaded, v.name);
        EXPECT_EQ(v.type, type) << v.label;
        EXPECT_EQ(v.data, data) << v.label;
    }
    EXPECT_EQ(names, ValueNames(loaded));
    EXPECT_EQ((std::vector<std::u16string>{u"BuiltIn", u"Active"}),
              SubkeyNames(Open(HKEY_LOCAL_MACHINE, u"Drivers")));
    EXPECT_EQ((std::vector<std::u16string>{u"Tulk0", u"\u00c9t\u00e9 ]x["}),
              SubkeyNames(Open(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Empty"));
    EXPECT_EQ(regtest::Bytes({7, 0, 0, 0}), Get(HKEY_CURRENT_USER, u"OnTheRoot").second);

    // Saving what was loaded writes the very same text.
    ASSERT_EQ(ERROR_SUCCESS, SetDword(loaded, u"Scratch", 1));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(loaded, u"Scratch"));
    EXPECT_EQ(saved, ReadWholeFile(HivePath()));
}

TEST_F(HiveTest, VolatileKeysAreNeverWritten) {
    ASSERT_TRUE(CeRegistryUseHive(HivePath().c_str()));
    HKEY lasting = Create(HKEY_LOCAL_MACHINE, u"Lasting");
    const std::string before = ReadWholeFile(HivePath());
    HKEY passing = Create(HKEY_LOCAL_MACHINE, u"Passing\\Child", REG_OPTION_VOLATILE);
    ASSERT_EQ(ERROR_SUCCESS, SetDword(passing, u"Gone", 1));
    EXPECT_EQ(before, ReadWholeFile(HivePath())) << "volatile changes do not rewrite the hive";
    ASSERT_EQ(ERROR_SUCCESS, SetDword(lasting, u"Kept", 1));
    EXPECT_EQ(std::string::npos, ReadWholeFile(HivePath()).find("Passing"));

    Reload();
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Lasting"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Passing"));
}

struct MalformedCase {
    const char* label;
    std::string text;
    int line;
    const char* says;
};

class MalformedHive : public HiveTest, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedHive, IsRefusedWithItsLineAndLeftAlone) {
    const MalformedCase& c = GetParam();
    HKEY before = Create(HKEY_LOCAL_MACHINE, u"InMemory");
    WriteWholeFile(HivePath(), c.text);

    ::testing::internal::CaptureStderr();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CeRegistryUseHive(HivePath().c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BADDB), GetLastError());
    const std::string printed = ::testing::internal::GetCapturedStderr();

    const std::string where = HivePath() + ":" + std::to_string(c.line) + ": ";
    const std::string message = CeRegistryLastError();
    EXPECT_EQ(0u, message.rfind(where, 0)) << message;
    EXPECT_NE(std::string::npos, message.find(c.says)) << message;
    EXPECT_NE(std::string::npos, printed.find(message)) << printed;

    // Not attached: memory is as it was and changes leave the file alone.
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"InMemory"));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(before, u"After", 1));
    EXPECT_EQ(c.text, ReadWholeFile(HivePath()));
}

std::string Hive(const std::string& body) {
    return std::string(kHeader) + "\n" + body;
}

// A hex: list of count zero bytes.
std::string ZeroBytes(size_t count) {
    std::string list;
    for (size_t i = 0; i < count; ++i) {
        list += i == 0 ? "00" : ",00";
    }
    return list;
}

INSTANTIATE_TEST_SUITE_P(
    Hive, MalformedHive,
    ::testing::Values(MalformedCase{"no header", "[HKEY_LOCAL_MACHINE\\A]\n", 1, "header"},
                      MalformedCase{"bad hex byte", Hive("[HKEY_LOCAL_MACHINE\\A]\n\"b\"=hex:01,zz\n"), 4,
                                    "hex"},
                      MalformedCase{"value over the limit",
                                    Hive("[HKEY_LOCAL_MACHINE\\A]\n\"ok\"=dword:1\n\"big\"=hex:" +
                                         ZeroBytes((1 << 20) + 1) + "\n"),
                                    5, "at most 1048576"}),
    regtest::LabelName<MalformedCase>);

TEST_F(HiveTest, SaveStoppedBeforeTheRenameKeepsThePreviousHive) {
    ASSERT_TRUE(CeRegistryUseHive(HivePath().c_str()));
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Saved");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"A", 1));
    const std::string before = ReadWholeFile(HivePath());

    ASSERT_TRUE(CePlatformInjectFault("HiveRename", 0, ERROR_DISK_FULL));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, u"A", 2)) << "the call reports the change made in memory";
    EXPECT_FALSE(::testing::internal::GetCapturedStderr().empty());
    EXPECT_EQ(before, ReadWholeFile(HivePath()));
    EXPECT_FALSE(fs::exists(HivePath() + ".tmp"));
    EXPECT_NE(nullptr, std::strstr(CeRegistryLastError(), "rename"));
    EXPECT_EQ(regtest::Bytes({2, 0, 0, 0}), Get(key, u"A").second);

    // A flush reports a failed save; the next one carries the change.
    ASSERT_TRUE(CePlatformInjectFault("HiveRename", 0, ERROR_DISK_FULL));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ERROR_DISK_FULL, RegFlushKey(key));
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(key));
    EXPECT_NE(before, ReadWholeFile(HivePath()));
    Reload();
    EXPECT_EQ(regtest::Bytes({2, 0, 0, 0}), Get(Open(HKEY_LOCAL_MACHINE, u"Saved"), u"A").second);
}

TEST_F(HiveTest, FailedSaveKeepsTheChangeInMemoryAndSaysWhy) {
    const std::string unreachable = dir_.File("missing-dir/hive.reg");
    ASSERT_TRUE(CeRegistryUseHive(unreachable.c_str()));
    ::testing::internal::CaptureStderr();
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Kept");
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, printed.find("missing-dir")) << printed;
    EXPECT_NE(std::string::npos, std::string(CeRegistryLastError()).find("missing-dir"));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, u"v", 1));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Kept"));
}

TEST_F(HiveTest, LoadAppliesImportFormsCommentsAndContinuations) {
    WriteWholeFile(HivePath(),
                   "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                   "\r\n"
                   "; a comment\r\n"
                   "[HKEY_LOCAL_MACHINE\\Gone\\Below]\r\n"
                   "[HKEY_LOCAL_MACHINE\\Kept]\r\n"
                   "\"Bytes\" = hex:01,02,\\\r\n"
                   "    03,04   ; trailing comment\r\n"
                   "\"Dropped\"=dword:1\r\n"
                   "\"Dropped\"=-\r\n"
                   "\"Upper\"=dword:ABCDEF01\r\n"
                   "[-HKEY_LOCAL_MACHINE\\Gone]\r\n"
                   "[-HKEY_LOCAL_MACHINE\\NeverThere]\r\n");
    ASSERT_TRUE(CeRegistryUseHive(HivePath().c_str())) << CeRegistryLastError();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Gone"));
    HKEY kept = Open(HKEY_LOCAL_MACHINE, u"Kept");
    EXPECT_EQ((std::vector<std::u16string>{u"Bytes", u"Upper"}), ValueNames(kept));
    EXPECT_EQ(regtest::Bytes({1, 2, 3, 4}), Get(kept, u"Bytes").second);
    EXPECT_EQ(regtest::Bytes({0x01, 0xEF, 0xCD, 0xAB}), Get(kept, u"Upper").second);
    EXPECT_STREQ("", CeRegistryLastError());
}

TEST_F(HiveTest, AttachingAnotherHiveReplacesMemoryAndLeavesTheOldFile) {
    ASSERT_TRUE(CeRegistryUseHive(HivePath().c_str()));
    HKEY first = Create(HKEY_LOCAL_MACHINE, u"First");
    const std::string firstText = ReadWholeFile(HivePath());

    const std::string other = dir_.File("other.reg");
    WriteWholeFile(other, Hive("[HKEY_LOCAL_MACHINE\\Second]\n\"v\"=dword:00000002\n"));
    ASSERT_TRUE(CeRegistryUseHive(other.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"First"));
    EXPECT_EQ(ERROR_KEY_DELETED, SetDword(first, u"v", 1));
    HKEY second = Open(HKEY_LOCAL_MACHINE, u"Second");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(second, u"w", 3));
    EXPECT_EQ(firstText, ReadWholeFile(HivePath()));
    EXPECT_NE(std::string::npos, ReadWholeFile(other).find("\"w\"=dword:00000003"));

    // Detached, the registry lives on in memory only.
    ASSERT_TRUE(CeRegistryUseHive(nullptr));
    const std::string otherText = ReadWholeFile(other);
    ASSERT_EQ(ERROR_SUCCESS, SetDword(second, u"x", 4));
    EXPECT_EQ(otherText, ReadWholeFile(other));
}

TEST_F(HiveTest, ResetDetachesWithoutTouchingTheFile) {
    ASSERT_TRUE(CeRegistryUseHive(HivePath().c_str()));
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"BeforeReset");
    const std::string text = ReadWholeFile(HivePath());
    ASSERT_TRUE(CePlatformInjectFault("HiveRename", 0, ERROR_DISK_FULL));
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"v", 1));
    ::testing::internal::GetCapturedStderr();
    ASSERT_STRNE("", CeRegistryLastError());

    CePlatformReset();
    EXPECT_STREQ("", CeRegistryLastError());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"BeforeReset"));
    EXPECT_EQ(ERROR_KEY_DELETED, SetDword(key, u"v", 2));
    Create(HKEY_LOCAL_MACHINE, u"AfterReset");
    EXPECT_EQ(text, ReadWholeFile(HivePath()));
}

TEST_F(HiveTest, EmptyPathIsRefused) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CeRegistryUseHive(""));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// ---- the CE_REGISTRY variable, seen by a fresh process ----

// Runs the probe with CE_REGISTRY naming hive; answers its exit status (see env_probe.cpp).
int RunProbe(const std::string& hive) {
    return tooltest::RunProgram(REGISTRY_ENV_PROBE, {}, {{"CE_REGISTRY", hive}}).exitCode;
}

TEST(RegistryEnvironment, NamesTheHiveOnFirstUse) {
    regtest::ScratchDir dir;
    const std::string hive = dir.File("env.reg");
    WriteWholeFile(hive, std::string(kHeader) + "\n[HKEY_LOCAL_MACHINE\\FromFile]\n");
    EXPECT_EQ(0, RunProbe(hive)) << "1: the hive's key was missing, 2: the new key was refused";
    EXPECT_NE(std::string::npos, ReadWholeFile(hive).find("[HKEY_LOCAL_MACHINE\\AddedByChild]"))
        << "the child saved to the hive the variable named";
}

TEST(RegistryEnvironment, ARefusedHiveFailsEveryCallAndIsLeftAlone) {
    regtest::ScratchDir dir;
    const std::string malformed = dir.File("malformed.reg");
    WriteWholeFile(malformed, std::string(kHeader) + "\n[HKEY_LOCAL_MACHINE\\FromFile\n");
    EXPECT_EQ(3, RunProbe(malformed)) << "0-2: ran on an empty registry";
    EXPECT_EQ(std::string(kHeader) + "\n[HKEY_LOCAL_MACHINE\\FromFile\n", ReadWholeFile(malformed));

    // A hive this process writes has no second writer, until this process lets go of it.
    const std::string held = dir.File("held.reg");
    WriteWholeFile(held, std::string(kHeader) + "\n[HKEY_LOCAL_MACHINE\\FromFile]\n");
    ASSERT_TRUE(CeRegistryUseHive(held.c_str()));
    EXPECT_EQ(4, RunProbe(held)) << "0-2: two writers of one hive";
    EXPECT_EQ(std::string::npos, ReadWholeFile(held).find("AddedByChild"));
    ASSERT_TRUE(CeRegistryUseHive(nullptr));
    EXPECT_EQ(0, RunProbe(held));
}

}  // namespace
