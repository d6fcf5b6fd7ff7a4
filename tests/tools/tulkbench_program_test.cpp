// tulkbench run as a person runs it: its command line, and that it leaves the person's device as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <iterator>
#include <sstream>

#include "tools/program_runner.h"

namespace {

using tooltest::RunResult;

// A pair the manager kept in slots 0 and 1 (COM0: and COM1:) that is not running, as after a restart, in
// the form the device writes its hive.
constexpr const char* kKeptPairHive =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\Drivers]\n\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn]\n\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\TULK0]\n"
    "\"DeviceArrayIndex\"=dword:00000000\n\"KMXPair\"=dword:00000001\n\"Index\"=dword:00000000\n"
    "\"Prefix\"=\"COM\"\n\"Dll\"=\"tulk.dll\"\n\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\TULK1]\n"
    "\"DeviceArrayIndex\"=dword:00000001\n\"KMXPair\"=dword:00000000\n\"Index\"=dword:00000001\n"
    "\"Prefix\"=\"COM\"\n\"Dll\"=\"tulk.dll\"\n\n";

TEST(TulkbenchProgram, BadUsageIsOneLineAndExitsTwo) {
    const std::vector<std::string> bad[] = {{"--x"}, {"0"}, {"12abc"}, {"1", "0"}, {"1", "2", "3"}};
    for (const auto& args : bad) {
        const RunResult result = tooltest::RunProgram(TULKBENCH_PROGRAM, args, {{"CE_DEVICE", "none"}});
        EXPECT_EQ(result.exitCode, 2) << args[0];
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("tulkbench: ", 0), 0u) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }
    const RunResult help = tooltest::RunProgram(TULKBENCH_PROGRAM, {"--help"}, {{"CE_DEVICE", "none"}});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: tulkbench [--processes] [MIB [ROUNDS]]\n", 0), 0u) << help.out;
}

// The words of the first line of text that contains part.
std::vector<std::string> WordsOfLineWith(const std::string& text, const std::string& part) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(part) != std::string::npos) {
            std::istringstream words(line);
            return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
        }
    }
    return {};
}

// The Linux channels carry the pair's traffic in and across programs, every byte verified; socat's column
// is there, or one line says why not and the run still succeeds.
TEST(TulkbenchProgram, EveryChannelBesideThePairCarriesVerifiedData) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        bool socatOnPath;
    };
    const Case cases[] = {
        {"in one program", {"1", "10"}, true},
        {"across programs", {"--processes", "1", "10"}, true},
        {"without socat", {"1", "10"}, false},
    };
    for (const Case& run : cases) {
        tooltest::ScratchDirectory scratch;
        const std::string device = scratch.File("device");
        ASSERT_EQ(mkdir(device.c_str(), 0700), 0);
        tooltest::Environment env = {{"CE_DEVICE", run.args[0] == "--processes" ? device : "none"}};
        if (!run.socatOnPath) {
            env.push_back({"PATH", scratch.path().string()});
        }
        const RunResult result = tooltest::RunProgram(TULKBENCH_PROGRAM, run.args, env);
        tooltest::RunProgram(HOST_PROGRAM, {"stop"}, env);
        EXPECT_EQ(result.exitCode, 0) << run.what << result.err;
        const bool socatMeasured = result.out.find("socat PTY not measured: ") == std::string::npos;
        if (!run.socatOnPath) {
            EXPECT_NE(result.out.find("tulkbench: socat PTY not measured: socat is not on PATH"),
                      std::string::npos)
                << result.out;
        }
        // A column per channel, then the pair's ratio to each of them.
        std::vector<std::string> peers = {"socketpair", "raw", "PTY"};
        if (socatMeasured) {
            peers.insert(peers.end(), {"socat", "PTY"});
        }
        std::vector<std::string> headings = WordsOfLineWith(result.out, "socketpair");
        std::vector<std::string> expected = peers;
        expected.insert(expected.end(), peers.begin(), peers.end());
        ASSERT_GE(headings.size(), expected.size()) << result.out;
        headings.erase(headings.begin(), headings.end() - static_cast<long>(expected.size()));
        EXPECT_EQ(headings, expected) << run.what << "\n" << result.out;
        expected = {"data", "verified", "verified", "verified"};
        if (socatMeasured) {
            expected.push_back("verified");
        }
        EXPECT_EQ(WordsOfLineWith(result.out, "data "), expected) << run.what << "\n" << result.out;
    }
}

TEST(TulkbenchProgram, WithoutADeviceNamedItRunsInsideItself) {
    tooltest::ScratchDirectory home;
    const std::string script = "unset CE_DEVICE; HOME=" + home.path().string() +
                               " XDG_STATE_HOME=" + home.path().string() + " exec " + TULKBENCH_PROGRAM +
                               " 1 10";
    const RunResult result = tooltest::RunProgram("/bin/sh", {"-c", script}, {});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("COM5:<->COM6:"), std::string::npos) << result.out;
    EXPECT_TRUE(std::filesystem::is_empty(home.path())) << "the default device was used";
}

TEST(TulkbenchProgram, OnADeviceItLeavesTheKeptPairsAsTheyWere) {
    tooltest::ScratchDirectory scratch;
    const std::string device = scratch.File("device");
    ASSERT_EQ(mkdir(device.c_str(), 0700), 0);
    const std::string hive = device + "/registry.reg";
    tooltest::WriteWholeFile(hive, kKeptPairHive);
    const tooltest::Environment env = {{"CE_DEVICE", device}};
    const RunResult result = tooltest::RunProgram(TULKBENCH_PROGRAM, {"1", "10"}, env);
    tooltest::RunProgram(HOST_PROGRAM, {"stop"}, env);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("COM5: and COM6: on the device " + device + ", removed at the end"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(tooltest::ReadWholeFile(hive), kKeptPairHive);
}

}  // namespace
