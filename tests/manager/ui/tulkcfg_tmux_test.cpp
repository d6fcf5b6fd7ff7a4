// tulkcfg in a real terminal: the program runs in a tmux pane on an in-process device whose registry is a
// hive file, keys go in with send-keys and clicks as xterm SGR mouse reports, and the screen is read back
// with capture-pane. The hive shows what the manager wrote.
#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>

#include "common/tmux_session.h"

namespace {

using tooltest::ReadWholeFile;
using tooltest::ScratchDirectory;

// Room for the whole 36 x 24 picture of the screen.
constexpr int kColumns = 80;
constexpr int kRows = 30;
constexpr char kEnded[] = "tulkcfg-ended";

class Pane : public ce_test::Tmux {
  public:
    Pane() : Tmux("tulkcfg-test") {}

    // tulkcfg in a shell that says when it ended and then waits to be looked at. There is no desktop, and
    // programs in `bin` come first in PATH. The shell outlives a Ctrl+C.
    void Start(const std::string& hive, const std::string& bin) {
        const std::string command =
            "trap : INT; env -u CE_UI_HEADLESS -u DISPLAY -u WAYLAND_DISPLAY -u CE_SHELL_OPENER "
            "CE_DEVICE=none CE_REGISTRY=" +
            hive + " PATH=" + bin + ":$PATH LC_ALL=C.UTF-8 " + TULKCFG_PROGRAM + "; echo " + kEnded +
            ":$?; sleep 60";
        Tmux::Start(command, "main", kColumns, kRows);
    }
};

class TulkcfgInTmux : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!Pane::Available()) {
            GTEST_SKIP() << "tmux is not installed";
        }
        hive_ = scratch_.File("device.reg");
        ASSERT_EQ(mkdir(scratch_.File("bin").c_str(), 0755), 0);
        pane_.Start(hive_, scratch_.File("bin"));
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

TEST_F(TulkcfgInTmux, AddAndDeleteAPairWithKeys) {
    // The add button has the focus at start: Space opens the dialog, a letter picks the first name that
    // follows with it (once, however the key reaches the list), Enter takes the names.
    pane_.Keys({"Space"});
    ASSERT_TRUE(pane_.Shows("Add KMX pair")) << pane_.Screen();
    pane_.Keys({"k"});
    ASSERT_TRUE(pane_.Shows("KMX0:")) << pane_.Screen();
    pane_.Keys({"Enter"});
    ASSERT_TRUE(pane_.ShowsNoMore("Add KMX pair")) << pane_.Screen();
    EXPECT_TRUE(HiveHoldsPair());

    // The tree takes no Tab: a click on it gives it the keys; the arrows select, Tab reaches the delete
    // button, Space presses it.
    pane_.Click(pane_.Find("Physical serial ports"));
    pane_.Keys({"Down", "Right", "Down"});
    ASSERT_TRUE(pane_.Shows("KMX0:")) << pane_.Screen();
    pane_.Keys({"Tab", "Tab", "Space"});
    ASSERT_TRUE(pane_.ShowsNoMore("KMX0:")) << pane_.Screen();
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

// In a terminal too small for the screen the note says so in full, and the add-pair dialog is shown whole.
TEST_F(TulkcfgInTmux, ASmallTerminalShowsTheActiveDialog) {
    pane_.Resize(40, 12);
    ASSERT_TRUE(pane_.Shows("Terminal too small: 36x24 needed")) << pane_.Screen();
    pane_.Keys({"Space"});
    ASSERT_TRUE(pane_.Shows("[  Cancel  ]")) << pane_.Screen();
    EXPECT_NE(pane_.Screen().find("Add KMX pair"), std::string::npos) << pane_.Screen();
    pane_.Keys({"Enter"});
    ASSERT_TRUE(pane_.ShowsNoMore("Add KMX pair")) << pane_.Screen();
    EXPECT_TRUE(HiveHoldsPair());
}

// Without a desktop the guide opens in a text browser that borrows the terminal; the manager's screen comes
// back when it ends, also when Ctrl+C ends it.
TEST_F(TulkcfgInTmux, HelpLendsTheTerminalToATextBrowser) {
    const std::string browser = scratch_.File("bin/www-browser");
    tooltest::WriteWholeFile(browser, "#!/bin/sh\nn=$(($(cat " + scratch_.File("runs") +
                                          " 2>/dev/null) + 1)); echo $n > " + scratch_.File("runs") +
                                          "\n[ -t 0 ] && [ -t 1 ] && t=terminal\necho \"browser $n $t: $1\"\n"
                                          "read line\n");
    ASSERT_EQ(chmod(browser.c_str(), 0755), 0);

    pane_.Click(pane_.Find("?"));
    ASSERT_TRUE(pane_.Shows("browser 1 terminal: /")) << pane_.Screen();
    EXPECT_NE(pane_.Screen().find("user_guide.htm"), std::string::npos) << pane_.Screen();
    EXPECT_EQ(pane_.Format("#{alternate_on}#{mouse_sgr_flag}"), "00") << "the terminal as the shell had it";
    pane_.Keys({"Enter"});
    ASSERT_TRUE(pane_.Shows("Virtual serial ports")) << pane_.Screen();
    EXPECT_EQ(pane_.Format("#{alternate_on}#{mouse_sgr_flag}"), "11");

    pane_.Click(pane_.Find("?"));
    ASSERT_TRUE(pane_.Shows("browser 2 terminal")) << pane_.Screen();
    pane_.Keys({"C-c"});
    ASSERT_TRUE(pane_.Shows("Virtual serial ports")) << pane_.Screen();
    pane_.Keys({"F10"});
    EXPECT_TRUE(pane_.Shows(std::string(kEnded) + ":0")) << pane_.Screen();
}

}  // namespace
