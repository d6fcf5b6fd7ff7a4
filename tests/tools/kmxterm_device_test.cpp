// kmxterm across programs on a device host: a third program activates a pair and exits, then two kmxterms
// in tmux talk on its ends and give the terminal back however they end, and kmxterm in a pipe carries a
// file byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "common/tmux_session.h"

namespace {

using ce_test::Tmux;
using tooltest::RunResult;

// The words of `stty -a` saved in a file: a flag that is on appears bare, one that is off with a '-'.
std::set<std::string> SttyFlags(const std::string& file) {
    std::istringstream text(tooltest::ReadWholeFile(file));
    std::set<std::string> words;
    for (std::string word; text >> word;) {
        words.insert(word);
    }
    return words;
}

void ExpectCookedTerminal(const std::string& sttyFile) {
    const std::set<std::string> flags = SttyFlags(sttyFile);
    for (const char* flag : {"icanon", "echo", "isig", "icrnl", "opost"}) {
        EXPECT_TRUE(flags.contains(flag)) << "terminal left without " << flag;
    }
}

class KmxtermDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        device_ = scratch_.File("device");
        const RunResult activated = tooltest::RunProgram(PAIR_ACTIVATOR, {}, Env());
        ASSERT_EQ(activated.exitCode, 0) << activated.err;
    }
    void TearDown() override { tooltest::RunProgram(HOST_PROGRAM, {"stop"}, Env()); }

    tooltest::Environment Env() const { return {{"CE_DEVICE", device_}}; }
    std::string Shell(const std::string& command) const { return "env CE_DEVICE=" + device_ + " " + command; }

    tooltest::ScratchDirectory scratch_;
    std::string device_;
};

TEST_F(KmxtermDevice, TwoKmxtermsChatAndSeeEachOthersLines) {
    if (!Tmux::Available()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    Tmux tmux;
    // After kmxterm the shell records its exit status and the terminal's mode.
    const std::string status = scratch_.File("status");
    const std::string mode = scratch_.File("stty.txt");
    tmux.Start(Shell(std::string(KMXTERM_PROGRAM) + " COM5:; echo $? > " + status + "; stty -a > " + mode +
                     "; echo a-ended; sleep 30"),
               "a");
    ASSERT_TRUE(tmux.Shows("COM5: 115200 8N1 none", "a")) << tmux.Screen("a");
    tmux.Start(Shell(std::string(KMXTERM_PROGRAM) + " COM6:; sleep 30"), "b");
    ASSERT_TRUE(tmux.Shows("COM6: 115200 8N1 none | DSR+ DCD+", "b")) << tmux.Screen("b");
    EXPECT_TRUE(tmux.Shows("COM5: 115200 8N1 none | DSR+ DCD+", "a")) << tmux.Screen("a");

    tmux.Keys({"hello from a", "Enter"}, "a");
    EXPECT_TRUE(tmux.Shows("hello from a", "b")) << tmux.Screen("b");
    tmux.Keys({"and from b", "Enter"}, "b");
    EXPECT_TRUE(tmux.Shows("and from b", "a")) << tmux.Screen("a");

    // A's DTR is B's DSR and DCD; B's RTS is A's CTS.
    tmux.Keys({"C-a", "d"}, "a");
    EXPECT_TRUE(tmux.Shows("DSR- DCD-", "b")) << tmux.Screen("b");
    EXPECT_TRUE(tmux.Shows("| DTR off", "a")) << tmux.Screen("a");
    tmux.Keys({"C-a", "r"}, "b");
    EXPECT_TRUE(tmux.Shows("CTS- RING- | DTR- RTS+ | ev: CTS", "a")) << tmux.Screen("a");
    tmux.Keys({"C-a", "d"}, "a");
    // B opened after A raised RTS and still sees it, as on a cable.
    EXPECT_TRUE(tmux.Shows("DSR+ DCD+ CTS+ RING- | DTR+ RTS-", "b")) << tmux.Screen("b");

    tmux.Keys({"C-a", "q"}, "a");
    tmux.Keys({"C-a", "x"}, "b");
    ASSERT_TRUE(tmux.Shows("a-ended", "a")) << tmux.Screen("a");
    ExpectCookedTerminal(mode);
    EXPECT_EQ(tooltest::ReadWholeFile(status), "0\n") << "a sanitizer's finding ends the program otherwise";
}

TEST_F(KmxtermDevice, ATerminatedKmxtermGivesTheTerminalBack) {
    if (!Tmux::Available()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    const std::string mode = scratch_.File("stty.txt");
    const std::string pidFile = scratch_.File("pid");
    Tmux tmux;
    tmux.Start("sh -c 'echo $$ > " + pidFile + "; exec " + Shell(std::string(KMXTERM_PROGRAM) + " COM5:") +
               "'; stty -a > " + mode + "; echo kmxterm-ended; sleep 30");
    ASSERT_TRUE(tmux.Shows("COM5: 115200")) << tmux.Screen();
    const std::string pid = tooltest::ReadWholeFile(pidFile);
    ASSERT_FALSE(pid.empty());
    ASSERT_EQ(std::system(("kill -TERM " + pid).c_str()), 0);
    ASSERT_TRUE(tmux.Shows("kmxterm-ended")) << tmux.Screen();
    ExpectCookedTerminal(mode);
}

TEST_F(KmxtermDevice, APipeCarriesAFileByteForByte) {
    const std::string in = scratch_.File("in.bin");
    const std::string out = scratch_.File("out.bin");
    std::string bytes(300 * 1024, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 2654435761u) >> 11);
    }
    tooltest::WriteWholeFile(in, bytes);
    // The sender opens first and is held by CTS until the receiver opens and raises its RTS; the
    // receiver's input stays open long enough for everything to pass, then it lingers until quiet.
    const std::string kmxterm = KMXTERM_PROGRAM;
    const std::string script = kmxterm + " --flow rtscts COM5: < " + in +
                               " > /dev/null & sender=$!; sleep 0.5; " + "sleep 2 | " + kmxterm +
                               " --flow rtscts --linger 1000 COM6: > " + out +
                               "; received=$?; wait $sender; echo $? $received";
    const RunResult result = tooltest::RunProgram("/bin/sh", {"-c", script}, Env());
    EXPECT_EQ(result.out, "0 0\n") << result.err;
    EXPECT_EQ(result.err, "");
    const std::string got = tooltest::ReadWholeFile(out);
    EXPECT_EQ(got.size(), bytes.size());
    EXPECT_TRUE(got == bytes) << "the file changed on the way";
}

TEST_F(KmxtermDevice, APortInUseNamesTheProgramThatHoldsIt) {
    const std::string kmxterm = KMXTERM_PROGRAM;
    const std::string script = "sleep 2 | " + kmxterm + " COM5: > /dev/null & holder=$!; sleep 0.5; " +
                               kmxterm + " COM5: < /dev/null; echo $? $holder; wait";
    const RunResult result = tooltest::RunProgram("/bin/sh", {"-c", script}, Env());
    const std::string holder = result.out.substr(result.out.find(' ') + 1);
    EXPECT_EQ(result.out.substr(0, 2), "1 ");
    // The shell's job is the pipe's last program: kmxterm itself.
    EXPECT_EQ(result.err, "kmxterm: COM5: is in use by another program (process " +
                              holder.substr(0, holder.size() - 1) + ", kmxterm)\n");
}

}  // namespace
