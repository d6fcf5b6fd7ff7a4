// cereg run as a program on a registry of its own (the in-process registry kept in a scratch hive): what it
// prints, its exit status, and what the hive file holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>

#include "tools/program_runner.h"

namespace {

using tooltest::ReadWholeFile;
using tooltest::RunResult;
using tooltest::WriteWholeFile;

constexpr const char* kDone = "The operation completed successfully.\n";
constexpr const char* kNotFound = "The system cannot find the file specified.";
constexpr int kRefused = 1;
constexpr int kBadUsage = 2;

class CeregProgram : public ::testing::Test {
  protected:
    RunResult Cereg(const std::vector<std::string>& args, const std::string& input = std::string()) {
        return tooltest::RunProgram(CEREG_PROGRAM, args, environment_, input);
    }

    void MustSucceed(const std::vector<std::string>& args) {
        const RunResult result = Cereg(args);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        ASSERT_EQ(result.err, "");
    }

    // A failure is one line on standard error that names the subject; standard output stays empty.
    void ExpectFailure(const RunResult& result, const std::string& subject, const std::string& reason,
                       int exitCode = kRefused) {
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_NE(result.err.find(subject), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
    }

    std::string Hive() const { return ReadWholeFile(hive_); }

    tooltest::ScratchDirectory scratch_;
    const std::string hive_ = scratch_.File("registry.reg");
    const tooltest::Environment environment_ = {{"CE_DEVICE", "none"}, {"CE_REGISTRY", hive_}};
};

TEST_F(CeregProgram, AddedValuesShowInALaterRunsQuery) {
    MustSucceed({"add", "HKLM\\Drivers\\BuiltIn\\Demo", "/v", "Prefix", "/d", "COM"});
    // Operations, switches and type names in any case; '-' works like '/'; data may look like a switch.
    MustSucceed({"ADD", "Drivers\\BuiltIn\\Demo", "-V", "Index", "/T", "reg_dword", "/D", "5"});
    MustSucceed({"add", "HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Demo", "/ve", "/d", "-default"});
    MustSucceed({"add", "HKLM\\Drivers\\BuiltIn\\Demo", "/v", "Cfg", "/t", "REG_BINARY", "/d", "0aff"});
    MustSucceed(
        {"add", "HKLM\\Drivers\\BuiltIn\\Demo", "/v", "Names", "/t", "REG_MULTI_SZ", "/s", ",", "/d", "a,b"});
    MustSucceed({"add", "HKLM\\Drivers\\BuiltIn\\Demo\\Sub"});

    // Keys and value names show as typed, the names found below them as stored.
    const RunResult result = Cereg({"query", "hklm\\drivers\\builtin\\demo"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "\nHKEY_LOCAL_MACHINE\\drivers\\builtin\\demo\n"
              "    Prefix    REG_SZ    COM\n"
              "    Index    REG_DWORD    0x5\n"
              "    (Default)    REG_SZ    -default\n"
              "    Cfg    REG_BINARY    0AFF\n"
              "    Names    REG_MULTI_SZ    a\\0b\n"
              "\n"
              "HKEY_LOCAL_MACHINE\\drivers\\builtin\\demo\\Sub\n");

    const RunResult one = Cereg({"query", "HKLM\\Drivers\\BuiltIn\\Demo", "/v", "index"});
    ASSERT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(one.out, "\nHKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Demo\n    index    REG_DWORD    0x5\n");
}

TEST_F(CeregProgram, RecursiveQueryAndSearch) {
    MustSucceed({"add", "A\\B", "/v", "x", "/d", "1"});
    MustSucceed({"add", "A\\B\\C", "/v", "X", "/d", "2"});
    MustSucceed({"add", "A\\D", "/v", "y", "/d", "3"});

    const RunResult all = Cereg({"query", "A", "/s"});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out,
              "\nHKEY_LOCAL_MACHINE\\A\n"
              "\nHKEY_LOCAL_MACHINE\\A\\B\n    x    REG_SZ    1\n"
              "\nHKEY_LOCAL_MACHINE\\A\\B\\C\n    X    REG_SZ    2\n"
              "\nHKEY_LOCAL_MACHINE\\A\\D\n    y    REG_SZ    3\n");

    const RunResult search = Cereg({"query", "A", "/s", "/v", "x"});
    ASSERT_EQ(search.exitCode, 0) << search.err;
    EXPECT_EQ(search.out,
              "\nHKEY_LOCAL_MACHINE\\A\\B\n    x    REG_SZ    1\n"
              "\nHKEY_LOCAL_MACHINE\\A\\B\\C\n    X    REG_SZ    2\n"
              "\nEnd of search: 2 match(es) found.\n");

    const RunResult none = Cereg({"query", "A", "/s", "/v", "zz"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find(kNotFound), std::string::npos);
}

TEST_F(CeregProgram, BadInputIsRefusedAndLosesNothing) {
    MustSucceed({"add", "HKLM\\Keep", "/v", "v", "/d", "kept"});
    const std::string before = Hive();

    ExpectFailure(Cereg({"add", "HKLM\\Keep", "/v", "n", "/t", "REG_DWORD", "/d", "many", "/f"}),
                  "HKEY_LOCAL_MACHINE\\Keep /v n", "not a REG_DWORD");
    ExpectFailure(Cereg({"add", "HKLM\\Keep", "/v", "n", "/t", "REG_BINARY", "/d", "abc", "/f"}),
                  "HKEY_LOCAL_MACHINE\\Keep /v n", "even number of hex digits");
    ExpectFailure(Cereg({"add", "HKLM\\Keep\\New", "/v", "n", "/t", "REG_TEXT", "/d", "x"}), "unknown type",
                  "REG_TEXT", kBadUsage);
    ExpectFailure(Cereg({"add", "HKLM\\\\Keep", "/v", "n"}), "HKLM\\\\Keep", "not a key name");
    ExpectFailure(Cereg({"add", "HKLM\\" + std::string(300, 'k')}), std::string(300, 'k'),
                  "The parameter is incorrect.");
    ExpectFailure(Cereg({"query", "HKLM\\Nope"}), "query HKEY_LOCAL_MACHINE\\Nope", kNotFound);
    ExpectFailure(Cereg({"query", "HKLM\\Keep", "/v", "missing"}), "HKEY_LOCAL_MACHINE\\Keep /v missing",
                  kNotFound);
    ExpectFailure(Cereg({"delete", "HKLM\\Keep", "/v", "missing", "/f"}),
                  "HKEY_LOCAL_MACHINE\\Keep /v missing", kNotFound);
    ExpectFailure(Cereg({"delete", "HKLM", "/f"}), "HKEY_LOCAL_MACHINE", "root key");
    ExpectFailure(Cereg({"frob"}), "frob", "unknown operation", kBadUsage);
    // The new key of a refused add was not created either.
    EXPECT_EQ(Hive(), before);
}

TEST_F(CeregProgram, QuestionsInAPipeAreRefusedUnlessForced) {
    MustSucceed({"add", "HKLM\\Q", "/v", "v", "/d", "old"});
    const std::string before = Hive();

    ExpectFailure(Cereg({"add", "HKLM\\Q", "/v", "v", "/d", "new"}, "y\n"), "HKEY_LOCAL_MACHINE\\Q /v v",
                  "/f");
    ExpectFailure(Cereg({"delete", "HKLM\\Q", "/v", "v"}, "y\n"), "HKEY_LOCAL_MACHINE\\Q /v v", "/f");
    ExpectFailure(Cereg({"delete", "HKLM\\Q", "/va"}, "y\n"), "HKEY_LOCAL_MACHINE\\Q", "/f");
    ExpectFailure(Cereg({"delete", "HKLM\\Q"}, "y\n"), "HKEY_LOCAL_MACHINE\\Q", "/f");
    EXPECT_EQ(Hive(), before);

    // A new value needs no question.
    MustSucceed({"add", "HKLM\\Q", "/v", "w", "/d", "fresh"});
    MustSucceed({"add", "HKLM\\Q", "/v", "v", "/d", "new", "/F"});
    EXPECT_NE(Hive().find("\"v\"=\"new\""), std::string::npos);
}

TEST_F(CeregProgram, DeleteValuesAndKeys) {
    MustSucceed({"add", "HKLM\\D\\Sub", "/v", "s", "/d", "1"});
    MustSucceed({"add", "HKLM\\D", "/v", "a", "/d", "1"});
    MustSucceed({"add", "HKLM\\D", "/v", "b", "/d", "2"});
    MustSucceed({"add", "HKLM\\D", "/ve", "/d", "3"});

    MustSucceed({"delete", "HKLM\\D", "/ve", "/f"});
    EXPECT_EQ(Hive().find("@="), std::string::npos);
    MustSucceed({"delete", "HKLM\\D", "/va", "/f"});
    const std::string hive = Hive();
    EXPECT_EQ(hive.find("\"a\"="), std::string::npos);
    EXPECT_NE(hive.find("\"s\"=\"1\""), std::string::npos) << "values below the key stay";
    MustSucceed({"delete", "HKLM\\D", "/f"});
    EXPECT_EQ(Hive().find("HKEY_LOCAL_MACHINE\\D"), std::string::npos);
    ExpectFailure(Cereg({"delete", "HKLM\\D", "/f"}), "HKEY_LOCAL_MACHINE\\D", kNotFound);
}

TEST_F(CeregProgram, ExportThenImportRestoresTheTree) {
    MustSucceed({"add", "HKLM\\T\\One", "/v", "text", "/d", "quote \" and \\ back"});
    MustSucceed({"add", "HKLM\\T\\One", "/v", "n", "/t", "REG_DWORD", "/d", "0xdeadbeef"});
    MustSucceed({"add", "HKLM\\T\\Two\\Deep", "/v", "m", "/t", "REG_MULTI_SZ", "/d", "x\\0y"});
    MustSucceed({"add", "HKLM\\T\\Two", "/v", "e", "/t", "REG_EXPAND_SZ", "/d", "%PATH%"});
    MustSucceed({"add", "HKLM\\Other", "/v", "o", "/d", "untouched"});
    const std::string first = scratch_.File("first.reg");
    const std::string second = scratch_.File("second.reg");

    MustSucceed({"export", "HKLM\\T", first});
    const std::string exported = ReadWholeFile(first);
    EXPECT_EQ(exported.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << exported;
    EXPECT_EQ(exported.find("Other"), std::string::npos) << "only the key named is exported";

    MustSucceed({"delete", "HKLM\\T", "/f"});
    MustSucceed({"import", first});
    MustSucceed({"export", "HKLM\\T", second, "/y"});
    EXPECT_EQ(ReadWholeFile(second), exported);

    // Over an existing file without /y, in a pipe: refused, the file kept.
    WriteWholeFile(second, "keep me");
    ExpectFailure(Cereg({"export", "HKLM\\T", second}), second, "/y");
    EXPECT_EQ(ReadWholeFile(second), "keep me");
    ExpectFailure(Cereg({"export", "HKLM\\Missing", scratch_.File("none.reg")}),
                  "HKEY_LOCAL_MACHINE\\Missing", kNotFound);
    EXPECT_FALSE(std::filesystem::exists(scratch_.File("none.reg")));
    ExpectFailure(Cereg({"import", scratch_.File("none.reg")}), "none.reg", kNotFound);
}

TEST_F(CeregProgram, HelpAndSyntaxErrors) {
    const RunResult help = Cereg({"import", "missing.reg", "/?"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("cereg query"), std::string::npos);
    const RunResult nothing = Cereg({});
    EXPECT_EQ(nothing.exitCode, kBadUsage);
    EXPECT_EQ(nothing.out, "");
    EXPECT_EQ(nothing.err, help.out) << "the usage, on standard error";
    ExpectFailure(Cereg({"query", "A", "/v"}), "/v", "argument", kBadUsage);
}

}  // namespace
