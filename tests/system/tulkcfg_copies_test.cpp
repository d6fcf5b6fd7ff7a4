// One tulkcfg per device across programs: the first runs in a terminal (a tmux pane), a second one started
// on the same device finds it, brings it to attention (the terminal rings its bell), says so and ends.
#include <sys/wait.h>

#include <signal.h>

#include "system/system_support.h"
#include "common/tmux_session.h"

namespace systemtest {
namespace {

constexpr auto kEndWait = std::chrono::milliseconds(30000 * ce_test::kSlowdown);
constexpr char kTitle[] = "TULK CE 3.6";

using TulkcfgCopiesTest = hosttest::HostTest;

// Whether tmux saw the bell ring in the pane's window since it started.
std::string BellFlag(ce_test::Tmux& tmux) {
    return tmux.Format("#{window_bell_flag}");
}

TEST_F(TulkcfgCopiesTest, SecondCopyOnTheDeviceBringsTheFirstToAttentionAndEnds) {
    if (!ce_test::Tmux::Available()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    ce_test::Tmux tmux("tulkcfg-copies");
    tmux.Start("env -u CE_UI_HEADLESS CE_DEVICE=" + dir_ + " LC_ALL=C.UTF-8 " + TULKCFG_PROGRAM +
               "; echo tulkcfg-ended; sleep 60");
    ASSERT_TRUE(tmux.Shows(kTitle)) << tmux.Screen();
    ASSERT_EQ(BellFlag(tmux), "0");

    ASSERT_EQ(setenv("CE_UI_HEADLESS", "1", 1), 0);
    const pid_t second = hosttest::Spawn({TULKCFG_PROGRAM});
    int status = -1;
    const bool ended =
        hosttest::WaitFor([&] { return waitpid(second, &status, WNOHANG) == second; }, kEndWait);
    if (!ended) {
        kill(second, SIGKILL);
        waitpid(second, &status, 0);
    }
    ASSERT_TRUE(ended) << "the second copy did not find the first";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    EXPECT_TRUE(hosttest::WaitFor([&] { return BellFlag(tmux) == "1"; }, kEndWait));
    // The first copy runs on, still showing its dialog.
    EXPECT_TRUE(tmux.Shows(kTitle));
    EXPECT_EQ(tmux.Screen().find("tulkcfg-ended"), std::string::npos);

    // A second copy says where the first one is; start starts nothing then, and add is refused.
    const std::string where = "the manager's window is open on this device (process ";
    const tooltest::RunResult start = tooltest::RunProgram(TULKCFG_PROGRAM, {"start"}, {});
    EXPECT_EQ(start.exitCode, 0);
    EXPECT_NE(start.err.find(where), std::string::npos) << start.err;
    EXPECT_NE(start.err.find("brought it to the front, nothing started"), std::string::npos) << start.err;
    const tooltest::RunResult add = tooltest::RunProgram(TULKCFG_PROGRAM, {"add"}, {});
    EXPECT_EQ(add.exitCode, 1);
    EXPECT_EQ(add.out, "");
    EXPECT_NE(add.err.find("change the pairs there, or close it first"), std::string::npos) << add.err;
}

}  // namespace
}  // namespace systemtest
