// kmxterm run as a program, on a device of its own (in-process, no ports): what a person or a script sees
// when something is wrong before any byte moves.
#include <gtest/gtest.h>

#include "options.h"
#include "session.h"
#include "tools/program_runner.h"

namespace {

using tooltest::RunResult;

RunResult Kmxterm(const std::vector<std::string>& args) {
    return tooltest::RunProgram(KMXTERM_PROGRAM, args, {{"CE_DEVICE", "none"}});
}

TEST(KmxtermProgram, HelpIsForPeople) {
    const RunResult help = Kmxterm({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind(UsageText(), 0), 0u) << "the options";
    EXPECT_NE(help.out.find(KeyHelpText()), std::string::npos) << "and the keys";
}

TEST(KmxtermProgram, FailuresAreOneLineAndExitOne) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{}, "no port named"},
        {{"--parity", "maybe", "COM5:"}, "--parity maybe: expected none, odd, even, mark or space"},
        {{"COM9"}, "COM9: no such port on the device (tulkcfg list shows the ports)"},
    };
    for (const auto& [args, message] : cases) {
        const RunResult result = Kmxterm(args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("kmxterm: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }
}

TEST(KmxtermProgram, APortTheDeviceKeepsButDoesNotRunSaysWhy) {
    tooltest::ScratchDirectory scratch;
    const std::string hive = scratch.File("device.reg");
    tooltest::WriteWholeFile(hive,
                             "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\TULK2]\n"
                             "\"Index\"=dword:00000002\n\"Prefix\"=\"COM\"\n\"Dll\"=\"tulk.dll\"\n\n"
                             "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial3]\n"
                             "\"Index\"=dword:00000003\n\"Prefix\"=\"C0M\"\n\"Dll\"=\"serial.dll\"\n\n");
    const std::pair<const char*, const char*> cases[] = {
        {"com2:", "kmxterm: com2: is kept but not active: tulkcfg start\n"},
        {"COM3:", "kmxterm: COM3: is a physical port disabled in the manager (tulkcfg)\n"},
    };
    for (const auto& [port, words] : cases) {
        const RunResult result =
            tooltest::RunProgram(KMXTERM_PROGRAM, {port}, {{"CE_DEVICE", "none"}, {"CE_REGISTRY", hive}});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, words);
    }
}

}  // namespace
