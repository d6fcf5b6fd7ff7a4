// Dialogs from templates run modally on a UI thread of their own and driven by injected input: the messages
// the dialog procedure receives, the dialog manager's keys, clicks, the close box, the owner's modality.
#include "ui_test_support.h"

#include <atomic>

namespace {

using ui_test::Click;
using ui_test::Key;
using ui_test::Log;

constexpr WORD kDraw = 300;  // an owner-drawn button
constexpr WORD kStatic = 301;
constexpr WORD kDisabled = 302;  // a disabled push button
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr LPARAM kInitParam = 0x5150;

ui_test::DialogBuilder StandardDialog() {
    ui_test::DialogBuilder builder(kDialogStyle, 10, 20, 116, 60, u"Test dialog");
    builder.Item(kChild | SS_LEFT, 4, 2, 60, 8, kStatic, 0x82, u"&Port")
        .Item(kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 4, 32, 47, 14, IDOK, 0x80, u"OK")
        .Item(kChild | WS_TABSTOP, 58, 32, 47, 14, IDCANCEL, 0x80, u"&Cancel")
        .Item(kChild | WS_TABSTOP | WS_DISABLED, 4, 46, 20, 10, kDisabled, 0x80, u"Off")
        .Item(kChild | WS_TABSTOP | BS_OWNERDRAW, 70, 1, 13, 12, kDraw, 0x80, u"");
    return builder;
}

// Runs a dialog modally on its own thread, owned by a window of that thread, until the test ends it.
class ModalDialog : public ::testing::Test {
  protected:
    void Start(ui_test::DialogBuilder builder) {
        builder_ = std::move(builder);
        Log().Clear();
        ui_ = std::make_unique<ui_test::UiThread>([this] {
            owner_ = CreateWindowExW(0, u"Dialog", u"Owner", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 240,
                                     320, nullptr, nullptr, nullptr, nullptr);
            result_ = DialogBoxIndirectParamW(nullptr, builder_.Template(), owner_,
                                              ui_test::RecordingDialogProc, kInitParam);
            ownerEnabledAfter_ = IsWindowEnabled(owner_) != FALSE;
            DestroyWindow(owner_);
        });
        ui_test::WaitIdle();
        dialog_ = FindWindowW(u"Dialog", u"Test dialog");
        ASSERT_NE(dialog_, nullptr);
    }

    void TearDown() override {
        if (ui_) {
            if (IsWindow(dialog_)) {
                EndDialog(dialog_, 0);
            }
            ui_->Join();
        }
        ui_test::SetBehaviour(nullptr);
    }

    INT_PTR Finish() {
        ui_->Join();
        return result_;
    }

    HWND Item(int id) { return GetDlgItem(dialog_, id); }

    // The command identifiers the dialog procedure received since the log was cleared.
    std::vector<WORD> Commands() {
        std::vector<WORD> ids;
        for (const auto& message : Log().Filtered({WM_COMMAND})) {
            ids.push_back(LOWORD(message.wParam));
        }
        return ids;
    }

    ui_test::DialogBuilder builder_{0, 0, 0, 0, 0, u""};
    std::unique_ptr<ui_test::UiThread> ui_;
    std::atomic<HWND> owner_{nullptr};
    HWND dialog_ = nullptr;
    std::atomic<INT_PTR> result_{-2};
    std::atomic<bool> ownerEnabledAfter_{false};
};

TEST_F(ModalDialog, CreationSendsFontThenInitDialogThenShowsAndFocusesTheFirstTabStop) {
    std::atomic<LPARAM> initParam{0};
    ui_test::SetBehaviour([&](HWND, UINT msg, WPARAM, LPARAM lParam) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            initParam = lParam;
        }
        return FALSE;
    });
    Start(StandardDialog());
    const auto font = static_cast<WPARAM>(SendMessageW(dialog_, WM_GETFONT, 0, 0));
    // WM_INITDIALOG names the first tab stop.
    EXPECT_EQ(ui_test::TakeSequence(Log(), {WM_SETFONT, WM_INITDIALOG, WM_SHOWWINDOW, WM_ACTIVATE}),
              (ui_test::Sequence{{WM_SETFONT, font},
                                 {WM_INITDIALOG, reinterpret_cast<WPARAM>(Item(IDOK))},
                                 {WM_SHOWWINDOW, TRUE},
                                 {WM_ACTIVATE, WA_ACTIVE}}));
    EXPECT_EQ(initParam.load(), kInitParam);
    EXPECT_EQ(CeUiGetFocusWindow(), Item(IDOK));
    EXPECT_EQ(CeUiGetActiveWindow(), dialog_);
    EXPECT_FALSE(IsWindowEnabled(owner_)) << "the owner is disabled while the dialog runs";
    EXPECT_TRUE(IsWindowVisible(dialog_));

    // Dialog units: 116 x 60 of the 7 x 14 font make a 203 x 105 client area inside the frame.
    RECT rect;
    GetClientRect(dialog_, &rect);
    EXPECT_EQ(rect.right, 203);
    EXPECT_EQ(rect.bottom, 105);
    GetWindowRect(Item(IDCANCEL), &rect);
    RECT frame;
    GetWindowRect(dialog_, &frame);
    EXPECT_EQ(rect.left - frame.left, 1 + 58 * 7 / 4);
    EXPECT_EQ(rect.top - frame.top, 1 + 14 + 32 * 14 / 8);
    EXPECT_EQ(rect.right - rect.left, 47 * 7 / 4);
    EXPECT_NE(SendMessageW(Item(IDOK), WM_GETFONT, 0, 0), 0) << "controls get the template's font";

    EndDialog(dialog_, 77);
    EXPECT_EQ(Finish(), 77);
    EXPECT_TRUE(ownerEnabledAfter_) << "and enabled again when it ends";
}

TEST_F(ModalDialog, InitDialogAnsweringFalseKeepsTheFocusTheProcedureChose) {
    ui_test::SetBehaviour([](HWND hwnd, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            SetFocus(GetDlgItem(hwnd, IDCANCEL));
        }
        return FALSE;
    });
    Start(StandardDialog());
    EXPECT_EQ(CeUiGetFocusWindow(), Item(IDCANCEL));
}

TEST_F(ModalDialog, TabAndShiftTabCycleThroughEnabledTabStops) {
    Start(StandardDialog());
    ASSERT_EQ(CeUiGetFocusWindow(), Item(IDOK));
    Key(VK_TAB);
    EXPECT_EQ(CeUiGetFocusWindow(), Item(IDCANCEL));
    Key(VK_TAB);
    EXPECT_EQ(CeUiGetFocusWindow(), Item(kDraw)) << "the disabled button and the static are skipped";
    Key(VK_TAB);
    EXPECT_EQ(CeUiGetFocusWindow(), Item(IDOK)) << "and the order wraps around";
    Key(VK_TAB, CE_UI_SHIFT);
    EXPECT_EQ(CeUiGetFocusWindow(), Item(kDraw));
    EXPECT_TRUE(Commands().empty()) << "moving the focus commands nothing";
}

struct KeyCase {
    const char* name;
    int focusId;  // 0 leaves the focus where the dialog put it
    UINT vk;
    UINT modifiers;
    std::vector<WORD> commands;
};

class DialogKeys : public ModalDialog, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(DialogKeys, SendTheCommandsOfWin32) {
    const KeyCase& c = GetParam();
    Start(StandardDialog());
    if (c.focusId != 0) {
        SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(c.focusId)), TRUE);
        ui_test::WaitIdle();
    }
    Log().Clear();
    Key(c.vk, c.modifiers);
    EXPECT_EQ(Commands(), c.commands);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DialogKeys,
    ::testing::Values(KeyCase{"EnterOnTheDefaultButton", 0, VK_RETURN, 0, {IDOK}},
                      KeyCase{"EnterOnAnotherPushButtonClicksThatButton", IDCANCEL, VK_RETURN, 0, {IDCANCEL}},
                      KeyCase{"EnterOnAnOwnerDrawnButtonTakesTheDefault", kDraw, VK_RETURN, 0, {IDOK}},
                      KeyCase{"EscapeIsCancel", kDraw, VK_ESCAPE, 0, {IDCANCEL}},
                      KeyCase{"SpaceClicksTheFocusedButton", kDraw, VK_SPACE, 0, {kDraw}},
                      KeyCase{"MnemonicClicksItsButton", 0, 'C', 0, {IDCANCEL}},
                      KeyCase{"MnemonicWithAltToo", 0, 'C', CE_UI_ALT, {IDCANCEL}},
                      KeyCase{"OtherLettersDoNothing", 0, 'X', 0, {}}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

TEST_F(ModalDialog, EnterWithoutADefaultButtonSendsIdOkAndDmSetDefIdChangesIt) {
    ui_test::DialogBuilder builder(kDialogStyle, 0, 0, 60, 30, u"Test dialog");
    builder.Item(kChild | WS_TABSTOP | BS_OWNERDRAW, 2, 2, 13, 12, kDraw, 0x80, u"");
    Start(std::move(builder));
    Key(VK_RETURN);
    EXPECT_EQ(Commands(), std::vector<WORD>{IDOK});
    EXPECT_EQ(SendMessageW(dialog_, DM_GETDEFID, 0, 0), 0);
    SendMessageW(dialog_, DM_SETDEFID, kDraw, 0);
    EXPECT_EQ(SendMessageW(dialog_, DM_GETDEFID, 0, 0), MAKELONG(kDraw, DC_HASDEFID));
    Key(VK_RETURN);
    EXPECT_EQ(Commands(), std::vector<WORD>{kDraw});
}

TEST_F(ModalDialog, ClickOnAButtonNotifiesOnReleaseAndClickOnADisabledOneIsSwallowed) {
    Start(StandardDialog());
    Click(Item(kDisabled));
    EXPECT_TRUE(Commands().empty());
    HWND cancel = Item(IDCANCEL);
    Click(cancel);
    const auto seen = Log().Filtered({WM_COMMAND});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    EXPECT_EQ(seen[0].lParam, reinterpret_cast<LPARAM>(cancel));
    EXPECT_EQ(SendMessageW(cancel, BM_GETSTATE, 0, 0) & BST_PUSHED, 0) << "released after the click";
    EXPECT_EQ(CeUiGetFocusWindow(), cancel) << "a clicked button takes the focus";
}

TEST_F(ModalDialog, CloseBoxSendsCloseAndTheDefaultProcedureTurnsItIntoCancel) {
    Start(StandardDialog());
    ASSERT_TRUE(CeUiInjectClose());
    ui_test::WaitIdle();
    EXPECT_EQ(
        ui_test::TakeSequence(Log(), {WM_SYSCOMMAND, WM_CLOSE, WM_COMMAND}),
        (ui_test::Sequence{{WM_SYSCOMMAND, SC_CLOSE}, {WM_CLOSE, 0}, {WM_COMMAND, MAKEWPARAM(IDCANCEL, 0)}}));
    // The close box is the right end of the title bar.
    RECT frame;
    GetWindowRect(dialog_, &frame);
    ui_test::ClickAt(POINT{frame.right - 4, frame.top + 5});
    EXPECT_EQ(Commands(), std::vector<WORD>{IDCANCEL});
}

TEST_F(ModalDialog, TheDisabledOwnerIgnoresClicks) {
    Start(StandardDialog());
    RECT ownerRect;
    GetWindowRect(owner_, &ownerRect);
    ui_test::ClickAt(POINT{ownerRect.left + 3, ownerRect.bottom - 3});
    EXPECT_EQ(CeUiGetActiveWindow(), dialog_) << "the owner could not take the activation";
    EXPECT_TRUE(SetForegroundWindow(owner_));
    EXPECT_EQ(CeUiGetActiveWindow(), dialog_) << "bringing the owner forward brings its modal dialog";
}

TEST(Dialogs, BadTemplatesAndOwnersFail) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, nullptr, nullptr, ui_test::RecordingDialogProc, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ui_test::DialogBuilder builder(kDialogStyle, 0, 0, 10, 10, u"x");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, builder.Template(), reinterpret_cast<HWND>(0x4321),
                                      ui_test::RecordingDialogProc, 0),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    ui_test::DialogBuilder unknownControl(kDialogStyle, 0, 0, 10, 10, u"x");
    unknownControl.Item(kChild, 0, 0, 5, 5, 1, u"NoSuchControl", u"");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(
        DialogBoxIndirectParamW(nullptr, unknownControl.Template(), nullptr, ui_test::RecordingDialogProc, 0),
        -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(FindWindowW(u"Dialog", u"x"), nullptr) << "a failed dialog leaves no window";
}

TEST(Dialogs, ModelessDialogAnswersDlgItemCallsAndLongValues) {
    ui_test::DialogBuilder builder(kDialogStyle | WS_VISIBLE, 0, 0, 100, 40, u"Modeless");
    builder.Item(kChild | SS_LEFT, 2, 2, 40, 8, kStatic, 0x82, u"Label");
    HWND dialog =
        CreateDialogIndirectParamW(nullptr, builder.Template(), nullptr, ui_test::RecordingDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(SetDlgItemTextW(dialog, kStatic, u"Changed"));
    WCHAR text[4];
    std::fill(std::begin(text), std::end(text), 0xFFFF);
    EXPECT_EQ(GetDlgItemTextW(dialog, kStatic, text, 4), 3u);
    EXPECT_EQ(std::u16string(text), u"Cha");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetDlgItem(dialog, 999), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
    EXPECT_EQ(GetDlgItemTextW(dialog, 999, text, 4), 0u);
    EXPECT_EQ(text[0], 0) << "an unknown item empties the buffer";
    EXPECT_EQ(GetWindowLongPtrW(dialog, DWLP_DLGPROC),
              reinterpret_cast<LONG_PTR>(ui_test::RecordingDialogProc));
    EXPECT_EQ(SetWindowLongW(dialog, DWL_USER, 5), 0);
    EXPECT_EQ(GetWindowLongPtrW(dialog, DWLP_USER), 5);
    DestroyWindow(dialog);
}

}  // namespace
