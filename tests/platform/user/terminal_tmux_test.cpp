// The terminal front-end in a real terminal: the demo dialog runs in a tmux pane of a fixed size, keys go in
// with send-keys and clicks as xterm SGR mouse reports, the screen is read back with capture-pane, and after
// the program ends (normally, by a signal or by a crash) the pane must show the shell's screen again with
// the cursor on and the alternate screen and the mouse reporting off.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include "common/tmux_session.h"

namespace {

using tooltest::ReadWholeFile;
using tooltest::ScratchDirectory;

constexpr int kColumns = 80;
constexpr int kRows = 30;
constexpr int kDemoResultOk = 1;  // IDOK
constexpr int kDemoResultCancel = 2;
constexpr int kDemoResultClosed = 3;
constexpr char kEnded[] = "demo-ended";
constexpr char kShellLine[] = "shell-line-before";
constexpr int kShellStatusOfSignal = 128;  // $? of a program ended by a signal, plus the signal's number

using ce_test::Place;

class Pane : public ce_test::Tmux {
  public:
    Pane() : Tmux("ui-terminal-test") {}

    // The demo in a shell that says when it ended and then waits to be looked at; `environment` adds
    // variables, such as another TERM.
    void StartDemo(const std::string& arguments, int columns = kColumns, int rows = kRows,
                   const std::string& environment = "") {
        // The shell traps SIGINT (and so outlives a Ctrl+C) while the demo gets the default disposition.
        const std::string command =
            "trap : INT; echo " + std::string(kShellLine) + "; env -u CE_UI_HEADLESS LC_ALL=C.UTF-8 " +
            environment + " " + std::string(UI_DEMO) + " " + arguments + "; echo " + kEnded + ":$?; sleep 60";
        Start(command, "main", columns, rows);
    }

    // Whether the first cell of `text` on the screen is bold (the screen read with its SGR sequences).
    bool Bold(const std::string& text) {
        std::istringstream lines(Run({"capture-pane", "-p", "-e", "-t", "t:main"}).out);
        for (std::string line; std::getline(lines, line);) {
            bool bold = false;
            for (size_t i = 0; i < line.size();) {
                if (line.compare(i, text.size(), text) == 0) {
                    return bold;
                }
                if (line.compare(i, 2, "\x1b[") != 0) {
                    ++i;
                    continue;
                }
                const size_t end = line.find('m', i);
                std::istringstream codes(line.substr(i + 2, end - i - 2));
                for (std::string code; std::getline(codes, code, ';');) {
                    bold = code == "1" || (bold && code != "0" && code != "22");
                }
                i = end == std::string::npos ? line.size() : end + 1;
            }
        }
        ADD_FAILURE() << text << " is not on the screen";
        return false;
    }

    // The terminal as the shell found it again: the program's screen gone, the cursor shown, the alternate
    // screen and mouse reporting off.
    void ExpectGivenBack(int exitStatus = 0) {
        ASSERT_TRUE(Shows(kEnded)) << Screen();
        EXPECT_NE(Screen().find(std::string(kEnded) + ":" + std::to_string(exitStatus)), std::string::npos)
            << "a sanitizer's finding changes the status: " << Screen();
        EXPECT_EQ(Screen().find("Demo"), std::string::npos) << Screen();
        EXPECT_NE(Screen().find(kShellLine), std::string::npos) << "the shell's screen: " << Screen();
        EXPECT_EQ(Format("#{alternate_on}"), "0");
        EXPECT_EQ(Format("#{cursor_flag}"), "1") << "the cursor is hidden";
        EXPECT_EQ(Format("#{mouse_sgr_flag}#{mouse_standard_flag}"), "00") << "the mouse still reports";
    }
};

class DemoInTerminal : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!Pane::Available()) {
            GTEST_SKIP() << "tmux is not installed";
        }
    }
    std::string Result() { return ReadWholeFile(result_); }

    ScratchDirectory scratch_;
    std::string result_ = scratch_.File("result");
    Pane pane_;
};

TEST_F(DemoInTerminal, IsDrawnCentredAndAnswersKeysAndClicks) {
    pane_.StartDemo(result_);
    ASSERT_TRUE(pane_.Shows("[x]")) << pane_.Screen();
    // The 36 x 24 cells of the screen lie in the middle of the 80 x 30 terminal; the dialog is centred on it.
    const Place title = pane_.Find("┌ Demo");
    EXPECT_EQ(title.column, (kColumns - 36) / 2 + 1 + (34 - 32) / 2) << pane_.Screen();
    EXPECT_TRUE(pane_.Shows("Ready"));

    pane_.Keys({"Tab", "Tab", "Down"});  // from the combo box past the icon button into the tree
    EXPECT_TRUE(pane_.Shows("Selected Ports")) << pane_.Screen();
    pane_.Keys({"Down"});
    EXPECT_TRUE(pane_.Shows("Selected COM1")) << pane_.Screen();

    pane_.Click(pane_.Find("COM2"));
    EXPECT_TRUE(pane_.Shows("Selected COM2")) << pane_.Screen();
    pane_.Click(pane_.Find("-─? Ports"));  // the expand button folds the branch away
    EXPECT_TRUE(Pane::WaitFor([&] {
        return pane_.Find("+─? Ports").Found() && !pane_.Find("? COM1").Found();
    })) << pane_.Screen();

    pane_.Click(pane_.Find("▼"));
    ASSERT_TRUE(pane_.Shows("KMX0:")) << pane_.Screen();
    pane_.Click(pane_.Find("KMX0:"));
    EXPECT_TRUE(pane_.Shows("Port KMX0:")) << pane_.Screen();

    pane_.Keys({"M-a"});  // Alt and the mnemonic press Ask
    ASSERT_TRUE(pane_.Shows("Go on?")) << pane_.Screen();
    pane_.Click(pane_.Find("No "));
    EXPECT_TRUE(pane_.Shows("Answer: no")) << pane_.Screen();

    Place closeBox = pane_.Find("[x]");
    closeBox.column += 1;
    pane_.Click(closeBox);
    pane_.ExpectGivenBack();
    EXPECT_EQ(Result(), std::to_string(kDemoResultClosed) + "\n");
}

struct EndingCase {
    const char* name;
    std::vector<std::string> keys;
    int result;
};

class DemoEndings : public DemoInTerminal, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(DemoEndings, KeysEndTheDialogAndTheTerminalComesBack) {
    pane_.StartDemo(result_);
    ASSERT_TRUE(pane_.Shows("Ready")) << pane_.Screen();
    pane_.Keys(GetParam().keys);
    pane_.ExpectGivenBack();
    EXPECT_EQ(Result(), std::to_string(GetParam().result) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Terminal, DemoEndings,
    ::testing::Values(EndingCase{"enter_presses_the_default_button", {"Enter"}, kDemoResultOk},
                      EndingCase{"escape_cancels", {"Escape"}, kDemoResultCancel},
                      EndingCase{"f10_is_the_close_box", {"F10"}, kDemoResultClosed},
                      EndingCase{"ctrl_w_is_the_close_box", {"C-w"}, kDemoResultClosed},
                      EndingCase{"shift_tab_to_ask_space_no_then_escape",
                                 {"BTab", "Space", "n", "Escape"},
                                 kDemoResultCancel}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DemoInTerminal, TerminalComesBackAfterACrashAndAfterCtrlC) {
    pane_.StartDemo(result_ + " abort");
    ASSERT_TRUE(pane_.Shows("Ready")) << pane_.Screen();
    pane_.Keys({"M-a"});  // Ask aborts the program
    pane_.ExpectGivenBack(kShellStatusOfSignal + SIGABRT);
    EXPECT_EQ(Result(), "") << "the program did not end normally";

    Pane second;
    second.StartDemo(result_);
    ASSERT_TRUE(second.Shows("Ready")) << second.Screen();
    second.Keys({"C-c"});
    second.ExpectGivenBack(kShellStatusOfSignal + SIGINT);
    EXPECT_EQ(Result(), "");
}

TEST_F(DemoInTerminal, RedrawsOnResizeAndNotesAClippedScreen) {
    pane_.StartDemo(result_);
    ASSERT_TRUE(pane_.Shows("Ready")) << pane_.Screen();
    const Place before = pane_.Find("┌ Demo");
    pane_.Resize(60, 26);
    EXPECT_TRUE(Pane::WaitFor([&] { return pane_.Find("┌ Demo").column == before.column - 10; }))
        << pane_.Screen();
    // Too small: the note fits, and the part shown follows the focus to the buttons at the bottom.
    pane_.Resize(40, 12);
    EXPECT_TRUE(pane_.Shows("Terminal too small: 36x24 needed")) << pane_.Screen();
    pane_.Keys({"Tab", "Tab", "Tab"});
    EXPECT_TRUE(pane_.Shows("<OK>")) << pane_.Screen();
    pane_.Resize(20, 14);
    EXPECT_TRUE(pane_.Shows("Too small: 36x24")) << pane_.Screen();
    pane_.Resize(kColumns, kRows);
    EXPECT_TRUE(Pane::WaitFor([&] { return pane_.Find("┌ Demo").column == before.column; }))
        << pane_.Screen();
    EXPECT_EQ(pane_.Screen().find("Terminal too small"), std::string::npos);
    pane_.Keys({"Escape"});
    pane_.ExpectGivenBack();
}

// A terminal described without dim text and without an alternate screen: the buttons that may be pressed
// are bold and the disabled one plain, and the shell's screen comes back all the same.
TEST_F(DemoInTerminal, MarksDisabledButtonsAndGivesTheScreenBackOnAPlainTerminal) {
    pane_.StartDemo(result_, kColumns, kRows, "TERM=vt100");
    ASSERT_TRUE(pane_.Shows("More")) << pane_.Screen();
    EXPECT_TRUE(pane_.Bold("Ask"));
    EXPECT_FALSE(pane_.Bold("More"));
    pane_.Keys({"Escape"});
    pane_.ExpectGivenBack();
}

}  // namespace
