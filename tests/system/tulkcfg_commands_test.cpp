// tulkcfg's commands for scripts, run as a script runs them on a device of the test's own: the words on
// standard output and error and the exit status. The test process joins the same device to hold a port
// open.
#include <unistd.h>

#include "system/system_support.h"
#include "tools/program_runner.h"

namespace systemtest {
namespace {

using tooltest::RunResult;
using TulkcfgCommandsTest = hosttest::HostTest;

RunResult Tulkcfg(const std::vector<std::string>& args) {
    return tooltest::RunProgram(TULKCFG_PROGRAM, args, {});
}

void ExpectRefused(const RunResult& result, int exitCode, const std::string& words) {
    EXPECT_EQ(result.exitCode, exitCode) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("tulkcfg: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(words), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
}

TEST_F(TulkcfgCommandsTest, BadUsageIsOneLineAndExitsTwo) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"bogus"}, "unknown command \"bogus\""},
        {{"Start"}, "unknown command \"Start\""},
        {{"start", "start"}, "start takes no arguments"},
        {{"list", "all"}, "list takes no arguments"},
        {{"add", "COM5:"}, "add takes two port names or none"},
        {{"add", "COM5:", "com5"}, "must be different"},
        {{"add", "COM5:", "LPT1:"}, "\"LPT1:\" is no port name"},
        {{"delete", "--force"}, "delete takes one port name"},
    };
    for (const auto& [args, words] : cases) {
        ExpectRefused(Tulkcfg(args), 2, words);
    }
    const RunResult help = Tulkcfg({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: tulkcfg [list | add [PORT PORT] | delete PORT [--force] | start", 0),
              0u);
}

TEST_F(TulkcfgCommandsTest, PairsAreAddedListedAndDeleted) {
    const RunResult first = Tulkcfg({"add"});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, "COM0: COM1:\n");
    ExpectRefused(Tulkcfg({"add", "COM1:", "KMX5:"}), 1, "COM1: is taken");
    EXPECT_EQ(Tulkcfg({"add", "COM5:", "KMX6:"}).out, "COM5: KMX6:\n");
    EXPECT_EQ(Tulkcfg({"list"}).out,
              "COM0:  virtual   COM1:  active    closed\n"
              "COM1:  virtual   COM0:  active    closed\n"
              "COM5:  virtual   KMX6:  active    closed\n"
              "KMX6:  virtual   COM5:  active    closed\n");

    HANDLE held = CreateFileW(u"COM5:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_NE(Tulkcfg({"list"}).out.find("COM5:  virtual   KMX6:  active    open\n"), std::string::npos);
    ExpectRefused(Tulkcfg({"delete", "KMX6:"}), 1, "COM5: is open in process " + std::to_string(getpid()));
    const RunResult forced = Tulkcfg({"delete", "kmx6", "--force"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(forced.out, "deleted KMX6: COM5:\n");
    CloseHandle(held);

    ExpectRefused(Tulkcfg({"delete", "COM3:"}), 1, "COM3: is no port");
    EXPECT_EQ(Tulkcfg({"list"}).out,
              "COM0:  virtual   COM1:  active    closed\n"
              "COM1:  virtual   COM0:  active    closed\n");
}

TEST_F(TulkcfgCommandsTest, KeptPairsComeBackAtBootAndStartSaysWhatItStarted) {
    EXPECT_EQ(Tulkcfg({"start"}).out, "no pairs are kept in the registry: nothing to start\n");
    ASSERT_EQ(Tulkcfg({"add"}).exitCode, 0);
    // The device starts them with this very tulkcfg, wherever the programs run from.
    const RunResult startUp = tooltest::RunProgram(CEREG_PROGRAM, {"query", "HKLM\\Init\\StartUp"}, {});
    EXPECT_NE(startUp.out.find(std::string("TulkPorts    REG_SZ    ") + TULKCFG_PROGRAM + " start\n"),
              std::string::npos)
        << startUp.out;
    const std::string running =
        "COM0:  virtual   COM1:  active    closed\n"
        "COM1:  virtual   COM0:  active    closed\n";
    ASSERT_EQ(hosttest::HostCommand("stop"), 0);
    EXPECT_EQ(Tulkcfg({"list"}).out, running) << "the program that boots the device finds the pair";
    EXPECT_EQ(Tulkcfg({"start"}).out, "COM0: runs already\nCOM1: runs already\n");
    const RunResult status = tooltest::RunProgram(hosttest::kHostProgram, {"status"}, {});
    EXPECT_NE(status.out.find(": 0 programs, 2 active devices\n  COM0:  Drivers\\BuiltIn\\TULK0\n"
                              "  COM1:  Drivers\\BuiltIn\\TULK1\n"),
              std::string::npos)
        << status.out;

    // Without the start-up line the pair stays stopped until started by hand.
    ASSERT_EQ(
        tooltest::RunProgram(CEREG_PROGRAM, {"delete", "HKLM\\Init\\StartUp", "/v", "TulkPorts", "/f"}, {})
            .exitCode,
        0);
    ASSERT_EQ(hosttest::HostCommand("stop"), 0);
    EXPECT_EQ(Tulkcfg({"list"}).out,
              "COM0:  virtual   COM1:  stopped   -\n"
              "COM1:  virtual   COM0:  stopped   -\n");
    const RunResult started = Tulkcfg({"start"});
    EXPECT_EQ(started.exitCode, 0) << started.err;
    EXPECT_EQ(started.out, "started COM0:\nstarted COM1:\n");
    EXPECT_EQ(Tulkcfg({"list"}).out, running);
}

TEST_F(TulkcfgCommandsTest, WithoutATerminalTheWindowIsRefused) {
    const RunResult result = tooltest::RunProgram(
        "/bin/sh", {"-c", std::string("unset CE_UI_HEADLESS; exec ") + TULKCFG_PROGRAM}, {});
    ExpectRefused(result, 2, "the manager's window needs a terminal");
}

}  // namespace
}  // namespace systemtest
