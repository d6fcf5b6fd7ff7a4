// kmxterm's terminal front in a real terminal: tmux runs it on one end of a pair whose other end answers,
// a person's keys are sent with send-keys and the screen is read back with capture-pane.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "common/tmux_session.h"
#include "driver/driver_test_support.h"

namespace {

using ce_test::Tmux;
constexpr DWORD kWaitMs = ce_test::kScreenWait.count();

// The words of `stty -a` saved in a file: a flag that is on appears bare, one that is off with a '-'.
std::set<std::string> SttyFlags(const std::string& file) {
    std::istringstream text(tooltest::ReadWholeFile(file));
    std::set<std::string> words;
    for (std::string word; text >> word;) {
        words.insert(word);
    }
    return words;
}

TEST(KmxtermTerminal, KeysGoOutAnswersAndLinesShowAndTheTerminalComesBack) {
    if (!Tmux::Available()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    tooltest::ScratchDirectory scratch;
    const std::string log = scratch.File("partner.log");
    const std::string mode = scratch.File("stty.txt");
    Tmux tmux;
    // After kmxterm the shell records the terminal's mode, then waits to be read.
    const std::string status = scratch.File("status");
    tmux.Start("env CE_DEVICE=none " + std::string(PAIR_HELPER) + " " + log + "; echo $? > " + status +
               "; stty -a > " + mode + "; echo helper-ended; sleep 30");
    ASSERT_TRUE(tmux.Shows("COM5: 115200 8N1 none | DSR+ DCD+ CTS+ RING- | DTR+ RTS+")) << tmux.Screen();

    tmux.Keys({"hello", "Enter"});
    EXPECT_TRUE(tmux.Shows("HELLO")) << tmux.Screen();
    EXPECT_TRUE(tulktest::WaitUntil([&] { return tooltest::ReadWholeFile(log) == "hello\r"; }, kWaitMs))
        << tooltest::ReadWholeFile(log);

    // Our own lines, and a literal Ctrl+A.
    tmux.Keys({"C-a", "d"});
    EXPECT_TRUE(tmux.Shows("DTR- RTS+ |")) << tmux.Screen();
    tmux.Keys({"C-a", "r"});
    EXPECT_TRUE(tmux.Shows("DTR- RTS- |")) << tmux.Screen();
    tmux.Keys({"C-a", "C-a", "x"});
    EXPECT_TRUE(tmux.Shows("^AX")) << tmux.Screen();

    tmux.Keys({"C-a", "q"});
    ASSERT_TRUE(tmux.Shows("helper-ended")) << tmux.Screen();
    const std::set<std::string> flags = SttyFlags(mode);
    for (const char* flag : {"icanon", "echo", "isig", "icrnl", "opost"}) {
        EXPECT_TRUE(flags.contains(flag)) << "terminal left without " << flag;
    }
    EXPECT_EQ(tooltest::ReadWholeFile(log), std::string("hello\r\x01x"));
    EXPECT_EQ(tooltest::ReadWholeFile(status), "0\n") << "a sanitizer's finding ends the program otherwise";
}

TEST(KmxtermTerminal, ATerminatedKmxtermGivesTheTerminalBack) {
    if (!Tmux::Available()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    tooltest::ScratchDirectory scratch;
    const std::string mode = scratch.File("stty.txt");
    const std::string pidFile = scratch.File("pid");
    Tmux tmux;
    tmux.Start("sh -c 'echo $$ > " + pidFile + "; exec env CE_DEVICE=none " + std::string(PAIR_HELPER) + " " +
               scratch.File("log") + "'; stty -a > " + mode + "; echo helper-ended; sleep 30");
    ASSERT_TRUE(tmux.Shows("COM5: 115200")) << tmux.Screen();
    const std::string pid = tooltest::ReadWholeFile(pidFile);
    ASSERT_FALSE(pid.empty());
    ASSERT_EQ(std::system(("kill -TERM " + pid).c_str()), 0);
    ASSERT_TRUE(tmux.Shows("helper-ended")) << tmux.Screen();
    const std::set<std::string> flags = SttyFlags(mode);
    EXPECT_TRUE(flags.contains("icanon") && flags.contains("echo") && flags.contains("isig"));
}

}  // namespace
