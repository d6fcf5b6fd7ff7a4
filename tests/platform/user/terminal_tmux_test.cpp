// The terminal front-end in a real terminal: the demo dialog runs in a tmux pane of a fixed size, keys go in
// with send-keys and clicks as xterm SGR mouse reports, the screen is read back with capture-pane, and after
// the program ends (normally, by a signal or by a crash) the pane must show the shell's screen again with
// the cursor on and the alternate screen and the mouse reporting off.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../../tools/program_runner.h"
#include "common/timing.h"

namespace {

using tooltest::ReadWholeFile;
using tooltest::RunProgram;
using tooltest::ScratchDirectory;

constexpr auto kScreenWait = std::chrono::milliseconds(10000 * ce_test::kSlowdown);
constexpr int kColumns = 80;
constexpr int kRows = 30;
constexpr int kDemoResultOk = 1;  // IDOK
constexpr int kDemoResultCancel = 2;
constexpr int kDemoResultClosed = 3;
constexpr char kEnded[] = "demo-ended";
constexpr int kShellStatusOfSignal = 128;  // $? of a program ended by a signal, plus the signal's number

bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kScreenWait;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct Place {
    int column = -1, row = -1;  // 0-based cells
    bool Found() const { return row >= 0; }
};

int panes = 0;

class Pane {
  public:
    Pane() : socket_("ui-terminal-test-" + std::to_string(getpid()) + "-" + std::to_string(++panes)) {}
    ~Pane() { Tmux({"kill-server"}); }
    Pane(const Pane&) = delete;
    Pane& operator=(const Pane&) = delete;

    static bool Available() { return std::system("tmux -V > /dev/null 2>&1") == 0; }

    // The demo in a shell that says when it ended and then waits to be looked at.
    void StartDemo(const std::string& arguments, int columns = kColumns, int rows = kRows) {
        // The shell traps SIGINT (and so outlives a Ctrl+C) while the demo gets the default disposition.
        const std::string command = "trap : INT; env -u CE_UI_HEADLESS LC_ALL=C.UTF-8 " +
                                    std::string(UI_DEMO) + " " + arguments + "; echo " + kEnded +
                                    ":$?; sleep 60";
        ASSERT_EQ(Tmux({"new-session", "-d", "-s", "t", "-x", std::to_string(columns), "-y",
                        std::to_string(rows), command})
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
        const std::string cell = std::to_string(at.column + 1) + ";" + std::to_string(at.row + 1);
        ASSERT_EQ(Tmux({"send-keys", "-t", "t", "-l", "\x1b[<0;" + cell + "M\x1b[<0;" + cell + "m"}).exitCode,
                  0);
    }
    std::string Screen() { return Tmux({"capture-pane", "-p", "-t", "t"}).out; }
    std::string Format(const std::string& format) {
        std::string out = Tmux({"display-message", "-p", "-t", "t", format}).out;
        while (!out.empty() && out.back() == '\n') {
            out.pop_back();
        }
        return out;
    }
    void Resize(int columns, int rows) {
        ASSERT_EQ(
            Tmux({"resize-window", "-t", "t", "-x", std::to_string(columns), "-y", std::to_string(rows)})
                .exitCode,
            0);
    }
    bool Shows(const std::string& text) {
        return WaitFor([&] { return Screen().find(text) != std::string::npos; });
    }
    // Where text starts on the screen, in cells.
    Place Find(const std::string& text) {
        std::istringstream lines(Screen());
        int row = 0;
        for (std::string line; std::getline(lines, line); ++row) {
            const size_t at = line.find(text);
            if (at != std::string::npos) {
                int column = 0;
                for (size_t i = 0; i < at; ++i) {
                    column += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80 ? 1 : 0;
                }
                return Place{column, row};
            }
        }
        return Place{};
    }

    // The terminal as the shell found it again: the program's screen gone, the cursor shown, the alternate
    // screen and mouse reporting off.
    void ExpectGivenBack(int exitStatus = 0) {
        ASSERT_TRUE(Shows(kEnded)) << Screen();
        EXPECT_NE(Screen().find(std::string(kEnded) + ":" + std::to_string(exitStatus)), std::string::npos)
            << "a sanitizer's finding changes the status: " << Screen();
        EXPECT_EQ(Screen().find("Demo"), std::string::npos) << Screen();
        EXPECT_EQ(Format("#{alternate_on}"), "0");
        EXPECT_EQ(Format("#{cursor_flag}"), "1") << "the cursor is hidden";
        EXPECT_EQ(Format("#{mouse_sgr_flag}#{mouse_standard_flag}"), "00") << "the mouse still reports";
    }

  private:
    tooltest::RunResult Tmux(std::vector<std::string> args) {
        args.insert(args.begin(), {"-L", socket_});
        return RunProgram(TMUX_PROGRAM, args, {});
    }

    std::string socket_;
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
    EXPECT_TRUE(WaitFor([&] { return pane_.Find("+─? Ports").Found() && !pane_.Find("? COM1").Found(); }))
        << pane_.Screen();

    pane_.Click(pane_.Find("!"));
    EXPECT_TRUE(pane_.Shows("Icon pressed")) << pane_.Screen();

    pane_.Click(pane_.Find("▼"));
    ASSERT_TRUE(pane_.Shows("KMX0:")) << pane_.Screen();
    pane_.Click(pane_.Find("KMX0:"));
    EXPECT_TRUE(pane_.Shows("Port KMX0:")) << pane_.Screen();

    pane_.Keys({"M-a"});  // Alt and the mnemonic press Ask
    ASSERT_TRUE(pane_.Shows("Go on?")) << pane_.Screen();
    const Place box = pane_.Find("┌ Ask");
    const Place question = pane_.Find("Go on?");
    EXPECT_GT(box.column, title.column) << "the box is centred, not at the dialog's corner";
    EXPECT_GT(question.row, box.row);
    pane_.Click(pane_.Find("No "));
    EXPECT_TRUE(pane_.Shows("Answer: no")) << pane_.Screen();
    pane_.Keys({"M-a"});
    ASSERT_TRUE(pane_.Shows("Go on?")) << pane_.Screen();
    pane_.Keys({"y"});
    EXPECT_TRUE(pane_.Shows("Answer: yes")) << pane_.Screen();

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
    EXPECT_TRUE(WaitFor([&] { return pane_.Find("┌ Demo").column == before.column - 10; })) << pane_.Screen();
    pane_.Resize(30, 14);
    EXPECT_TRUE(pane_.Shows("Terminal too small")) << pane_.Screen();
    pane_.Resize(kColumns, kRows);
    EXPECT_TRUE(WaitFor([&] { return pane_.Find("┌ Demo").column == before.column; })) << pane_.Screen();
    EXPECT_EQ(pane_.Screen().find("Terminal too small"), std::string::npos);
    pane_.Keys({"Escape"});
    pane_.ExpectGivenBack();
}

}  // namespace
