// kmxterm run as a program, on a device of its own (in-process, no ports): what a person or a script sees
// when something is wrong before any byte moves.
#include <gtest/gtest.h>

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
    for (const char* topic : {"kmxterm [options] PORT", "--flow none|rtscts|dtrdsr|xonxoff", "--linger",
                              "byte for byte", "Ctrl+A then", "q  or x  quit"}) {
        EXPECT_NE(help.out.find(topic), std::string::npos) << topic;
    }
}

TEST(KmxtermProgram, FailuresAreOneLineAndExitOne) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{}, "no port named"},
        {{"--parity", "maybe", "COM5:"}, "--parity maybe: expected none, odd, even, mark or space"},
        {{"COM9"}, "COM9: cannot open: The system cannot find the file specified."},
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

}  // namespace
