// tulkbench run as a person runs it: its command line, and that it leaves the person's device as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

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
