// tulkcfg in a real terminal: the program runs in a tmux pane on an in-process device whose registry is a
// hive file, keys go in with send-keys and clicks as xterm SGR mouse reports, and the screen is read back
// with capture-pane. The hive shows what the manager wrote.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "common/timing.h"
#include "driver/driver_test_support.h"
#include "tools/program_runner.h"

namespace {

using tooltest::ReadWholeFile;
using tooltest::RunProgram;
using tooltest::ScratchDirectory;

constexpr DWORD kScreenWaitMs = 10000 * ce_test::kSlowdown;
// Room for the whole 36 x 24 picture of the screen.
constexpr int kColumns = 80;
constexpr int kRows = 30;
constexpr char kEnded[] = "tulkcfg-ended";

struct Place {
    int column = -1, row = -1;  // 0-based cells
    bool Found() const { return row >= 0; }
};

class Pane {
  public:
    Pane() : socket_("tulkcfg-test-" + std::to_string(getpid())) {}
    ~Pane() { Tmux({"kill-server"}); }
    Pane(const Pane&) = delete;
    Pane& operator=(const Pane&) = delete;

    static bool Available() { return std::system("tmux -V > /dev/null 2>&1") == 0; }

    // tulkcfg in a shell that says when it ended and then waits to be looked at.
    void Start(const std::string& hive) {
        const std::string command = "env -u CE_UI_HEADLESS CE_DEVICE=none CE_REGISTRY=" + hive +
                                    " LC_ALL=C.UTF-8 " + TULKCFG_PROGRAM + "; echo " + kEnded + "; sleep 60";
        ASSERT_EQ(Tmux({"new-session", "-d", "-s", "t", "-x", std::to_string(kColumns), "-y",
                        std::to_string(kRows), command})
                      .exitCode,
                  0);
    }
    void Keys(const std::vector<std::string>& keys) {
        std::vector<std::string> args = {"send-keys", "-t", "t"};
        args.insert(args.end(), keys.begin(), keys.end());
        ASSERT_EQ(Tmux(args).exitCode, 0);
    }
    // A left click as a terminal with SGR mouse reporting sends it: press and release.
    void Click(Place at) {
        ASSERT_TRUE(at.Found());
        const std::string cell = std::to_string(at.column + 1) + ";" + std::to_string(at.row + 1);
        ASSERT_EQ(Tmux({"send-keys", "-t", "t", "-l", "\x1b[<0;" + cell + "M\x1b[<0;" + cell + "m"}).exitCode,
                  0);
    }
    std::string Screen() { return Tmux({"capture-pane", "-p", "-t", "t"}).out; }
    bool Shows(const std::string& text) {
        return tulktest::WaitUntil([&] { return Screen().find(text) != std::string::npos; }, kScreenWaitMs);
    }
    bool ShowsNoMore(const std::string& text) {
        return tulktest::WaitUntil([&] { return Screen().find(text) == std::string::npos; }, kScreenWaitMs);
    }
    // Where text starts on the screen, in cells (a character counts one cell).
    Place Find(const std::string& text) {
        const std::string screen = Screen();
        int row = 0;
        size_t start = 0;
        while (start <= screen.size()) {
            const size_t end = screen.find('\n', start);
            const std::string line = screen.substr(start, end == std::string::npos ? end : end - start);
            const size_t at = line.find(text);
            if (at != std::string::npos) {
                return Place{CellsIn(line.substr(0, at)), row};
            }
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
            ++row;
        }
        return Place{};
    }

  private:
    static int CellsIn(const std::string& utf8) {
        int cells = 0;
        for (unsigned char c : utf8) {
            cells += (c & 0xC0) != 0x80 ? 1 : 0;
        }
        return cells;
    }
    tooltest::RunResult Tmux(std::vector<std::string> args) {
        args.insert(args.begin(), {"-L", socket_});
        return RunProgram(TMUX_PROGRAM, args, {});
    }

    std::string socket_;
};

class TulkcfgInTmux : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!Pane::Available()) {
            GTEST_SKIP() << "tmux is not installed";
        }
        hive_ = scratch_.File("device.reg");
        pane_.Start(hive_);
        ASSERT_TRUE(pane_.Shows("Virtual serial ports")) << pane_.Screen();
    }
    std::string Hive() { return ReadWholeFile(hive_); }
    // The two ends of a pair, as the manager writes their keys.
    bool HiveHoldsPair() {
        const std::string hive = Hive();
        return hive.find("Drivers\\BuiltIn\\TULK0]") != std::string::npos &&
               hive.find("Drivers\\BuiltIn\\TULK1]") != std::string::npos;
    }
    bool HiveHoldsNoPort() { return Hive().find("TULK") == std::string::npos; }
    void ExpandVirtualPorts() {
        pane_.Click(pane_.Find("+─▯ Virtual"));
        ASSERT_TRUE(pane_.Shows("COM0:")) << pane_.Screen();
    }
    void CloseWithTheMouse() {
        pane_.Click(pane_.Find("[x]"));
        EXPECT_TRUE(pane_.Shows(kEnded)) << pane_.Screen();
    }

    ScratchDirectory scratch_;
    std::string hive_;
    Pane pane_;
};

TEST_F(TulkcfgInTmux, ShowsTheTreeAndItsButtons) {
    const std::string screen = pane_.Screen();
    EXPECT_NE(screen.find("TULK CE 3.6"), std::string::npos) << screen;
    EXPECT_NE(screen.find("Physical serial ports"), std::string::npos) << screen;
    EXPECT_NE(screen.find("≡+"), std::string::npos) << "the add button's picture";
    EXPECT_NE(screen.find("?"), std::string::npos) << "the help button's picture";
    CloseWithTheMouse();
}

TEST_F(TulkcfgInTmux, AddAndDeleteAPairWithKeys) {
    // The add button has the focus at start: Space opens the dialog, Enter takes the first two names.
    pane_.Keys({"Space"});
    ASSERT_TRUE(pane_.Shows("Add KMX pair")) << pane_.Screen();
    pane_.Keys({"Enter"});
    ASSERT_TRUE(pane_.ShowsNoMore("Add KMX pair")) << pane_.Screen();
    EXPECT_TRUE(HiveHoldsPair());

    // The tree takes no Tab: a click on it gives it the keys; the arrows select, Tab reaches the delete
    // button, Space presses it.
    pane_.Click(pane_.Find("Physical serial ports"));
    pane_.Keys({"Down", "Right", "Down"});
    ASSERT_TRUE(pane_.Shows("COM0:")) << pane_.Screen();
    pane_.Keys({"Tab", "Tab", "Space"});
    ASSERT_TRUE(pane_.ShowsNoMore("COM0:")) << pane_.Screen();
    EXPECT_TRUE(HiveHoldsNoPort());
    CloseWithTheMouse();
}

TEST_F(TulkcfgInTmux, AddAndDeleteAPairWithTheMouse) {
    pane_.Click(pane_.Find("≡+"));
    ASSERT_TRUE(pane_.Shows("Add KMX pair")) << pane_.Screen();
    pane_.Click(pane_.Find("<OK>"));
    ASSERT_TRUE(pane_.ShowsNoMore("Add KMX pair")) << pane_.Screen();
    EXPECT_TRUE(HiveHoldsPair());
    ExpandVirtualPorts();
    EXPECT_NE(pane_.Screen().find("COM1:"), std::string::npos);

    pane_.Click(pane_.Find("COM1:"));
    pane_.Click(pane_.Find("≡×"));
    ASSERT_TRUE(pane_.ShowsNoMore("COM1:")) << pane_.Screen();
    EXPECT_FALSE(pane_.Screen().find("COM0:") != std::string::npos) << "its partner goes with it";
    EXPECT_TRUE(HiveHoldsNoPort());
    CloseWithTheMouse();
}

}  // namespace
