// Dialogs from templates run modally on a UI thread of their own and driven by injected input: the messages
// the dialog procedure receives, the dialog manager's keys, clicks, the close box, the owner's modality; and
// what the parent of an owner-drawn button is asked to draw in each state and what its drawing leaves on the
// button's surface.
#include "ui_test_dialogs.h"
#include "ui_test_support.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <tuple>

namespace {

using ui_test::Click;
using ui_test::Key;
using ui_test::Log;

constexpr LPARAM kInitParam = 0x5150;

// Runs a dialog modally on its own thread, owned by a window of that thread, until the test ends it.
class ModalDialog : public ::testing::Test {
  protected:
    void Start(WORD templateId = IDD_STANDARD) {
        Log().Clear();
        ui_ = std::make_unique<ui_test::UiThread>([this, templateId] {
            owner_ = CreateWindowExW(0, u"Dialog", u"Owner", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 240,
                                     320, nullptr, nullptr, nullptr, nullptr);
            result_ = DialogBoxIndirectParamW(nullptr, ui_test::Template(templateId), owner_,
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
    Start();
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
    Start();
    EXPECT_EQ(CeUiGetFocusWindow(), Item(IDCANCEL));
}

TEST_F(ModalDialog, TabAndShiftTabCycleThroughEnabledTabStops) {
    Start();
    ASSERT_EQ(CeUiGetFocusWindow(), Item(IDOK));
    Key(VK_TAB);
    EXPECT_EQ(CeUiGetFocusWindow(), Item(IDCANCEL));
    Key(VK_TAB);
    EXPECT_EQ(CeUiGetFocusWindow(), Item(IDC_DRAW)) << "the disabled button and the static are skipped";
    Key(VK_TAB);
    EXPECT_EQ(CeUiGetFocusWindow(), Item(IDOK)) << "and the order wraps around";
    Key(VK_TAB, CE_UI_SHIFT);
    EXPECT_EQ(CeUiGetFocusWindow(), Item(IDC_DRAW));
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
    Start();
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
                      KeyCase{"EnterOnAnOwnerDrawnButtonTakesTheDefault", IDC_DRAW, VK_RETURN, 0, {IDOK}},
                      KeyCase{"EscapeIsCancel", IDC_DRAW, VK_ESCAPE, 0, {IDCANCEL}},
                      KeyCase{"SpaceClicksTheFocusedButton", IDC_DRAW, VK_SPACE, 0, {IDC_DRAW}},
                      KeyCase{"MnemonicClicksItsButton", 0, 'C', 0, {IDCANCEL}},
                      KeyCase{"MnemonicWithAltToo", 0, 'C', CE_UI_ALT, {IDCANCEL}},
                      KeyCase{"OtherLettersDoNothing", 0, 'X', 0, {}}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

TEST_F(ModalDialog, EnterWithoutADefaultButtonSendsIdOkAndDmSetDefIdChangesIt) {
    Start(IDD_NO_DEFAULT);
    Key(VK_RETURN);
    EXPECT_EQ(Commands(), std::vector<WORD>{IDOK});
    EXPECT_EQ(SendMessageW(dialog_, DM_GETDEFID, 0, 0), 0);
    SendMessageW(dialog_, DM_SETDEFID, IDC_DRAW, 0);
    EXPECT_EQ(SendMessageW(dialog_, DM_GETDEFID, 0, 0), MAKELONG(IDC_DRAW, DC_HASDEFID));
    Key(VK_RETURN);
    EXPECT_EQ(Commands(), std::vector<WORD>{IDC_DRAW});
}

TEST_F(ModalDialog, ClickOnAButtonNotifiesOnReleaseAndClickOnADisabledOneIsSwallowed) {
    Start();
    Click(Item(IDC_DISABLED));
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
    Start();
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
    Start();
    RECT ownerRect;
    GetWindowRect(owner_, &ownerRect);
    ui_test::ClickAt(POINT{ownerRect.left + 3, ownerRect.bottom - 3});
    EXPECT_EQ(CeUiGetActiveWindow(), dialog_) << "the owner could not take the activation";
    EXPECT_TRUE(SetForegroundWindow(owner_));
    EXPECT_EQ(CeUiGetActiveWindow(), dialog_) << "bringing the owner forward brings its modal dialog";
}

constexpr int kIconPx = 16;

std::mutex drawLock;
std::vector<DRAWITEMSTRUCT> draws;
HICON face = nullptr;

// Draws like a program's icon button: a rectangle of the static colour without outline, the icon centred and
// shifted one pixel right and down while pressed.
INT_PTR DrawIconButton(HWND, UINT msg, WPARAM, LPARAM lParam) {
    if (msg != WM_DRAWITEM) {
        return FALSE;
    }
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    {
        std::lock_guard<std::mutex> guard(drawLock);
        draws.push_back(*item);
    }
    if (item->itemAction == ODA_FOCUS) {
        return TRUE;
    }
    HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_STATIC));
    HGDIOBJ oldBrush = SelectObject(item->hDC, brush);
    HGDIOBJ oldPen = SelectObject(item->hDC, GetStockObject(NULL_PEN));
    Rectangle(item->hDC, item->rcItem.left, item->rcItem.top, item->rcItem.right, item->rcItem.bottom);
    SelectObject(item->hDC, oldPen);
    SelectObject(item->hDC, oldBrush);
    DeleteObject(brush);
    const int pressed = (item->itemState & ODS_SELECTED) != 0 ? 1 : 0;
    const int x = (item->rcItem.right - item->rcItem.left - kIconPx) / 2 + pressed;
    const int y = (item->rcItem.bottom - item->rcItem.top - kIconPx) / 2 + pressed;
    DrawIconEx(item->hDC, x, y, face, 0, 0, 0, nullptr, DI_NORMAL);
    return TRUE;
}

std::vector<DRAWITEMSTRUCT> TakeDraws() {
    std::lock_guard<std::mutex> guard(drawLock);
    return std::exchange(draws, {});
}

struct Draw {
    UINT action;
    UINT state;
};

void ExpectDraws(const std::vector<Draw>& expected, const char* context) {
    const auto seen = TakeDraws();
    ASSERT_EQ(seen.size(), expected.size()) << context;
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].itemAction, expected[i].action) << context << " draw " << i;
        EXPECT_EQ(seen[i].itemState, expected[i].state) << context << " draw " << i;
    }
}

// The owner-drawn button of the standard dialog, drawn like a program's icon button.
class OwnerDrawnButton : public ModalDialog {
  protected:
    void SetUp() override {
        face = LoadIconW(nullptr, IDI_INFORMATION);
        ASSERT_NE(face, nullptr);
        TakeDraws();
        ui_test::SetBehaviour(DrawIconButton);
        Start();
        button_ = Item(IDC_DRAW);
    }

    HWND button_ = nullptr;
};

TEST_F(OwnerDrawnButton, FirstPaintDrawsTheWholeButtonOnItsOwnDc) {
    const auto seen = TakeDraws();
    ASSERT_EQ(seen.size(), 1u);
    const DRAWITEMSTRUCT& item = seen[0];
    // Enabled, not pressed, no focus (OK has it).
    EXPECT_EQ(std::tie(item.CtlType, item.CtlID, item.itemAction, item.itemState, item.hwndItem),
              std::make_tuple(UINT{ODT_BUTTON}, UINT{IDC_DRAW}, UINT{ODA_DRAWENTIRE}, 0u, button_));
    EXPECT_NE(item.hDC, nullptr);
    RECT client;
    GetClientRect(button_, &client);
    const RECT& drawn = item.rcItem;
    EXPECT_EQ(std::tie(drawn.left, drawn.top, drawn.right, drawn.bottom),
              std::tie(client.left, client.top, client.right, client.bottom));
    EXPECT_EQ(client.right, 13 * 7 / 4);
    EXPECT_EQ(client.bottom, 12 * 14 / 8);
    EXPECT_EQ(GetDeviceCaps(item.hDC, HORZRES), 0) << "the DC was released after the request";

    CE_UI_DRAWN_ICON icon;
    ASSERT_EQ(CeUiGetDrawnIcons(button_, &icon, 1), 1u);
    EXPECT_EQ(std::tie(icon.icon, icon.x, icon.y, icon.width),
              std::make_tuple(face, (client.right - kIconPx) / 2, (client.bottom - kIconPx) / 2, kIconPx))
        << "centred; size 0 draws the icon at its own size";
}

TEST_F(OwnerDrawnButton, DisablingAndEnablingRedrawTheWholeButton) {
    TakeDraws();
    EnableWindow(button_, FALSE);
    ui_test::WaitIdle();
    ExpectDraws({{ODA_DRAWENTIRE, ODS_DISABLED}}, "disabled");
    EnableWindow(button_, TRUE);
    ui_test::WaitIdle();
    ExpectDraws({{ODA_DRAWENTIRE, 0}}, "enabled");
}

TEST_F(OwnerDrawnButton, APressShowsSelectedUntilTheRelease) {
    TakeDraws();
    ui_test::Click(button_);
    ExpectDraws({{ODA_FOCUS, ODS_FOCUS}, {ODA_SELECT, ODS_SELECTED | ODS_FOCUS}, {ODA_SELECT, ODS_FOCUS}},
                "click");
    const auto commands = ui_test::Log().Filtered({WM_COMMAND});
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const auto& m) { return m.wParam == MAKEWPARAM(IDC_DRAW, BN_CLICKED); }),
              1);
    CE_UI_DRAWN_ICON icons[4];
    ASSERT_EQ(CeUiGetDrawnIcons(button_, icons, 4), 1u) << "each full fill starts the surface afresh";
    RECT client;
    GetClientRect(button_, &client);
    EXPECT_EQ(icons[0].x, (client.right - kIconPx) / 2) << "back in place after the release";
}

TEST(Dialogs, BadTemplatesAndOwnersFail) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, nullptr, nullptr, ui_test::RecordingDialogProc, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, ui_test::Template(IDD_EMPTY), reinterpret_cast<HWND>(0x4321),
                                      ui_test::RecordingDialogProc, 0),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, ui_test::Template(IDD_UNKNOWN_CONTROL), nullptr,
                                      ui_test::RecordingDialogProc, 0),
              -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(FindWindowW(u"Dialog", u"x"), nullptr) << "a failed dialog leaves no window";
}

TEST(Dialogs, ModelessDialogAnswersDlgItemCallsAndLongValues) {
    HWND dialog = CreateDialogIndirectParamW(nullptr, ui_test::Template(IDD_MODELESS), nullptr,
                                             ui_test::RecordingDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(SetDlgItemTextW(dialog, IDC_STATIC_TEXT, u"Changed"));
    WCHAR text[4];
    std::fill(std::begin(text), std::end(text), 0xFFFF);
    EXPECT_EQ(GetDlgItemTextW(dialog, IDC_STATIC_TEXT, text, 4), 3u);
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
