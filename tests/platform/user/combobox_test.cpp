// Combo boxes as drop-down lists: sorted insertion, the selection and its text, deletion, and the
// keyboard and mouse of a combo box in a running dialog.
#include "ui_test_dialogs.h"
#include "ui_test_support.h"

#include <atomic>

namespace {

using ui_test::ClickAt;
using ui_test::Key;
using ui_test::Log;

constexpr DWORD IDC_COMBOStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST;

class ComboBox : public ::testing::Test {
  protected:
    void SetUp() override {
        parent_ = CreateWindowExW(0, u"Dialog", u"parent", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                                  nullptr, nullptr);
        combo_ = CreateWindowExW(0, u"ComboBox", u"", IDC_COMBOStyle | CBS_SORT, 4, 4, 84, 101, parent_,
                                 reinterpret_cast<HMENU>(IDC_COMBO), nullptr, nullptr);
        ASSERT_NE(combo_, nullptr);
    }
    void TearDown() override { DestroyWindow(parent_); }

    LRESULT Add(const char16_t* text) {
        return SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    HWND parent_ = nullptr;
    HWND combo_ = nullptr;
};

TEST_F(ComboBox, SortedInsertionIgnoresCaseAndAnswersTheIndex) {
    EXPECT_EQ(Add(u"KMX0:"), 0);
    EXPECT_EQ(Add(u"COM3:"), 0);
    EXPECT_EQ(Add(u"com1:"), 0);
    EXPECT_EQ(Add(u"COM2:"), 1);
    EXPECT_EQ(ui_test::ComboItems(combo_),
              (std::vector<std::u16string>{u"com1:", u"COM2:", u"COM3:", u"KMX0:"}));
    EXPECT_EQ(SendMessageW(combo_, CB_GETCURSEL, 0, 0), CB_ERR) << "nothing is selected at first";
    EXPECT_EQ(ui_test::TextOf(combo_), u"");
}

TEST_F(ComboBox, TheWindowTextIsTheSelectedItemAndFollowsInsertions) {
    for (const char16_t* name : {u"COM3:", u"COM4:", u"KMX1:"}) {
        Add(name);
    }
    EXPECT_EQ(SendMessageW(combo_, CB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(ui_test::TextOf(combo_), u"COM4:");
    Add(u"COM0:");
    EXPECT_EQ(SendMessageW(combo_, CB_GETCURSEL, 0, 0), 2) << "an insertion before the selection moves it";
    EXPECT_EQ(ui_test::TextOf(combo_), u"COM4:");
    EXPECT_EQ(SendMessageW(combo_, CB_SETCURSEL, 9, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo_, CB_GETCURSEL, 0, 0), CB_ERR)
        << "an index out of range clears the selection";
    EXPECT_EQ(ui_test::TextOf(combo_), u"");
    EXPECT_EQ(SendMessageW(combo_, CB_SETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(-1), 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo_, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(ComboBox, ItemTextCallsRefuseBadIndicesAndLeaveTheBufferAlone) {
    Add(u"COM5:");
    EXPECT_EQ(SendMessageW(combo_, CB_GETLBTEXTLEN, 0, 0), 5);
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 0xFFFF);
    EXPECT_EQ(SendMessageW(combo_, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 5);
    EXPECT_EQ(buffer[5], 0);
    EXPECT_EQ(buffer[6], 0xFFFF);
    std::fill(std::begin(buffer), std::end(buffer), 0xFFFF);
    for (WPARAM bad : {WPARAM{1}, static_cast<WPARAM>(-1)}) {
        EXPECT_EQ(SendMessageW(combo_, CB_GETLBTEXT, bad, reinterpret_cast<LPARAM>(buffer)), CB_ERR);
        EXPECT_EQ(SendMessageW(combo_, CB_GETLBTEXTLEN, bad, 0), CB_ERR);
    }
    EXPECT_EQ(buffer[0], 0xFFFF);
    EXPECT_EQ(SendMessageW(combo_, CB_ADDSTRING, 0, 0), CB_ERR) << "a null string";
}

TEST_F(ComboBox, InsertAndDeleteKeepTheSelectionOnItsItem) {
    HWND plain = CreateWindowExW(0, u"ComboBox", u"", IDC_COMBOStyle, 4, 40, 84, 60, parent_, nullptr,
                                 nullptr, nullptr);
    auto insert = [&](int index, const char16_t* text) {
        return SendMessageW(plain, CB_INSERTSTRING, static_cast<WPARAM>(index),
                            reinterpret_cast<LPARAM>(text));
    };
    EXPECT_EQ(insert(-1, u"b"), 0);
    EXPECT_EQ(insert(0, u"c"), 0) << "no sorting without CBS_SORT";
    EXPECT_EQ(insert(5, u"x"), CB_ERR);
    EXPECT_EQ(insert(-1, u"a"), 2);
    SendMessageW(plain, CB_SETCURSEL, 2, 0);
    EXPECT_EQ(SendMessageW(plain, CB_DELETESTRING, 0, 0), 2) << "answers the items left";
    EXPECT_EQ(SendMessageW(plain, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(ui_test::TextOf(plain), u"a");
    EXPECT_EQ(SendMessageW(plain, CB_DELETESTRING, 1, 0), 1);
    EXPECT_EQ(SendMessageW(plain, CB_GETCURSEL, 0, 0), CB_ERR)
        << "deleting the selected item clears the selection";
    EXPECT_EQ(ui_test::TextOf(plain), u"");
    EXPECT_EQ(SendMessageW(plain, CB_DELETESTRING, 3, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(plain, CB_RESETCONTENT, 0, 0), CB_OKAY);
    EXPECT_EQ(SendMessageW(plain, CB_GETCOUNT, 0, 0), 0);
}

TEST_F(ComboBox, TheFieldIsOneRowHighAndTheListOpensBelowIt) {
    RECT field, dropped;
    GetWindowRect(combo_, &field);
    EXPECT_EQ(field.bottom - field.top, 14);
    SendMessageW(combo_, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    EXPECT_EQ(dropped.bottom - dropped.top, 101) << "the template's height holds the field and the list";
}

// A dialog with a sorted combo box, driven by keys and clicks.
class ComboInDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        Log().Clear();
        running_ = std::make_unique<ui_test::DialogOnUiThread>([] {
            HWND dialog = CreateDialogIndirectParamW(nullptr, ui_test::Template(IDD_COMBO), nullptr,
                                                     ui_test::RecordingDialogProc, 0);
            HWND combo = GetDlgItem(dialog, IDC_COMBO);
            for (const char16_t* name : {u"COM4:", u"COM3:", u"KMX0:", u"COM9:"}) {
                SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
            }
            SendMessageW(combo, CB_SETCURSEL, 0, 0);
            ShowWindow(dialog, SW_SHOW);
            return dialog;
        });
        combo_ = GetDlgItem(running_->dialog(), IDC_COMBO);
        Log().Clear();
    }
    void TearDown() override { running_.reset(); }
    // The combo box's notifications; a command of the dialog itself (IDOK, IDCANCEL) shows as 0xFFFF.
    std::vector<WORD> Notifications() {
        std::vector<WORD> codes;
        for (const auto& message : Log().Filtered({WM_COMMAND})) {
            codes.push_back(LOWORD(message.wParam) == IDC_COMBO ? HIWORD(message.wParam) : 0xFFFF);
        }
        return codes;
    }
    bool Dropped() { return SendMessageW(combo_, CB_GETDROPPEDSTATE, 0, 0) != 0; }
    LRESULT Selection() { return SendMessageW(combo_, CB_GETCURSEL, 0, 0); }

    std::unique_ptr<ui_test::DialogOnUiThread> running_;
    HWND combo_ = nullptr;
};

TEST_F(ComboInDialog, ArrowsAndLettersChangeTheSelectionOfTheClosedList) {
    ASSERT_EQ(CeUiGetFocusWindow(), combo_);
    Key(VK_DOWN);
    EXPECT_EQ(Selection(), 1);
    EXPECT_EQ(ui_test::TextOf(combo_), u"COM4:");
    Key(VK_UP);
    Key(VK_UP);
    EXPECT_EQ(Selection(), 0) << "the first item stays first";
    EXPECT_EQ(Notifications(), (std::vector<WORD>{CBN_SELCHANGE, CBN_SELCHANGE}));
    ASSERT_TRUE(CeUiInjectChar(u'k'));
    ui_test::WaitIdle();
    EXPECT_EQ(ui_test::TextOf(combo_), u"KMX0:") << "a letter selects the next item starting with it";
}

TEST_F(ComboInDialog, F4OpensEnterChoosesEscapeCancels) {
    Key(VK_F4);
    EXPECT_TRUE(Dropped());
    Key(VK_DOWN);
    Key(VK_DOWN);
    EXPECT_EQ(Selection(), 0) << "the open list moves its pointer only";
    Key(VK_RETURN);
    EXPECT_FALSE(Dropped());
    EXPECT_EQ(Selection(), 2);
    EXPECT_EQ(ui_test::TextOf(combo_), u"COM9:");
    EXPECT_EQ(Notifications(), (std::vector<WORD>{CBN_DROPDOWN, CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}))
        << "Enter went to the list, not to the dialog as IDOK";
    Key(VK_DOWN, CE_UI_ALT);
    EXPECT_TRUE(Dropped());
    Key(VK_UP);
    Key(VK_ESCAPE);
    EXPECT_FALSE(Dropped());
    EXPECT_EQ(Selection(), 2);
    EXPECT_EQ(Notifications(), (std::vector<WORD>{CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP}))
        << "Esc closed the list and did not reach the dialog as IDCANCEL";
}

TEST_F(ComboInDialog, AClickOpensTheListAndAClickOnAnItemChoosesIt) {
    RECT field;
    GetWindowRect(combo_, &field);
    ClickAt(POINT{field.left + 3, field.top + 3});
    ASSERT_TRUE(Dropped());
    // Row 3 of the list (KMX0:) lies 3 rows below the field's bottom.
    ClickAt(POINT{field.left + 3, field.bottom + 3 * 14 + 5});
    EXPECT_FALSE(Dropped());
    EXPECT_EQ(ui_test::TextOf(combo_), u"KMX0:");
    ClickAt(POINT{field.left + 3, field.top + 3});
    ClickAt(POINT{200, 300});
    EXPECT_FALSE(Dropped()) << "a click elsewhere closes the list";
    EXPECT_EQ(ui_test::TextOf(combo_), u"KMX0:");
}

}  // namespace
