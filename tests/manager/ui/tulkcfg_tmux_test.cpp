// tulkcfg in a real terminal: the program runs in a tmux pane on an in-process device whose registry is a
// hive file, keys go in with send-keys and clicks as xterm SGR mouse reports, and the screen is read back
// with capture-pane. The hive shows what the manager wrote.
#include <gtest/gtest.h>

#include <string>

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

    // tulkcfg in a shell that says when it ended and then waits to be looked at.
    void Start(const std::string& hive) {
        const std::string command = "env -u CE_UI_HEADLESS CE_DEVICE=none CE_REGISTRY=" + hive +
                                    " LC_ALL=C.UTF-8 " + TULKCFG_PROGRAM + "; echo " + kEnded + "; sleep 60";
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
