// Message boxes answered by injected input: their buttons, default buttons, Esc, the close box, Y and N, the
// owner's modality and the placement in the middle of the screen.
#include "ui_test_support.h"

#include <algorithm>
#include <atomic>

namespace {

constexpr const char16_t* kCaption = u"TULK Manager";

struct BoxCase {
    const char* name;
    UINT style;
    std::function<void(HWND box)> answer;
    int expected;
};

void Press(UINT vk) {
    ASSERT_TRUE(CeUiInjectKey(vk, 0));
}

void ClickButton(HWND box, int id) {
    const POINT centre = ui_test::CentreOf(GetDlgItem(box, id));
    ASSERT_TRUE(CeUiInjectClick(centre.x, centre.y));
}

class MessageBoxes : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxes, AnswerTheButtonChosen) {
    const BoxCase& c = GetParam();
    std::atomic<int> result{-1};
    std::atomic<bool> ownerEnabledAfter{false};
    ui_test::UiThread ui([&] {
        HWND owner = CreateWindowExW(0, u"Dialog", u"Owner", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 240,
                                     320, nullptr, nullptr, nullptr, nullptr);
        result = MessageBoxW(owner, u"Delete them anyway?", kCaption, c.style);
        ownerEnabledAfter = IsWindowEnabled(owner) != FALSE;
        DestroyWindow(owner);
    });
    ui_test::WaitIdle();
    HWND box = FindWindowW(u"Dialog", kCaption);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(IsWindowEnabled(FindWindowW(u"Dialog", u"Owner")));
    c.answer(box);
    ui.Join();
    EXPECT_EQ(result, c.expected);
    EXPECT_TRUE(ownerEnabledAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, MessageBoxes,
    ::testing::Values(
        BoxCase{"OkByEnter", MB_OK, [](HWND) { Press(VK_RETURN); }, IDOK},
        BoxCase{"OkByEscape", MB_OK, [](HWND) { Press(VK_ESCAPE); }, IDOK},
        BoxCase{"OkByTheCloseBox", MB_OK | MB_ICONEXCLAMATION, [](HWND) { ASSERT_TRUE(CeUiInjectClose()); },
                IDOK},
        BoxCase{"YesNoEnterTakesYes", MB_YESNO, [](HWND) { Press(VK_RETURN); }, IDYES},
        BoxCase{"YesNoSecondDefault", MB_YESNO | MB_DEFBUTTON2, [](HWND) { Press(VK_RETURN); }, IDNO},
        BoxCase{"YesNoByLetterN", MB_YESNO, [](HWND) { Press('N'); }, IDNO},
        BoxCase{"YesNoByLetterY", MB_YESNO | MB_DEFBUTTON2, [](HWND) { Press('Y'); }, IDYES},
        BoxCase{"YesNoIgnoresEscapeThenClick", MB_YESNO | MB_ICONQUESTION,
                [](HWND box) {
                    Press(VK_ESCAPE);
                    ui_test::WaitIdle();
                    ASSERT_TRUE(IsWindow(box)) << "without Cancel, Esc does nothing";
                    ClickButton(box, IDNO);
                },
                IDNO},
        BoxCase{"OkCancelEscape", MB_OKCANCEL, [](HWND) { Press(VK_ESCAPE); }, IDCANCEL},
        BoxCase{"YesNoCancelThirdDefault", MB_YESNOCANCEL | MB_DEFBUTTON3, [](HWND) { Press(VK_RETURN); },
                IDCANCEL},
        BoxCase{"RetryCancelClick", MB_RETRYCANCEL, [](HWND box) { ClickButton(box, IDRETRY); }, IDRETRY},
        BoxCase{"AbortRetryIgnoreTab", MB_ABORTRETRYIGNORE,
                [](HWND) {
                    Press(VK_TAB);
                    Press(VK_TAB);
                    Press(VK_SPACE);
                },
                IDIGNORE}),
    [](const ::testing::TestParamInfo<BoxCase>& info) { return info.param.name; });

TEST(MessageBox, IsACentredDialogWithTheTextWrappedAtBlanksAndTheButtons) {
    const std::u16string text =
        u"Error while enabling real serial port which was disabled previously. Please, delete all virtual "
        u"serial ports, reboot the device and try once again.";
    std::atomic<int> result{-1};
    ui_test::UiThread ui([&] { result = MessageBoxW(nullptr, text.c_str(), kCaption, MB_OK); });
    ui_test::WaitIdle();
    HWND box = FindWindowW(u"Dialog", kCaption);
    ASSERT_NE(box, nullptr);
    RECT rect;
    GetWindowRect(box, &rect);
    EXPECT_GE(rect.left, 0) << "inside the screen";
    EXPECT_EQ(rect.left, (240 - (rect.right - rect.left)) / 2);
    EXPECT_EQ(rect.top, (320 - (rect.bottom - rect.top)) / 2);
    std::u16string shown = ui_test::TextOf(GetDlgItem(box, 0xFFFF));
    EXPECT_NE(shown.find(u'\n'), std::u16string::npos);
    std::replace(shown.begin(), shown.end(), u'\n', u' ');
    EXPECT_EQ(shown, text);
    HWND ok = GetDlgItem(box, IDOK);
    EXPECT_EQ(ui_test::TextOf(ok), u"OK");
    EXPECT_EQ(CeUiGetFocusWindow(), ok);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
    Press(VK_RETURN);
    ui.Join();
    EXPECT_EQ(result, IDOK);
}

TEST(MessageBox, BadArgumentsFailWithoutAWindow) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", 0x0F), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MSGBOX_STYLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MessageBoxW(reinterpret_cast<HWND>(0x2222), u"x", u"y", MB_OK), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(FindWindowW(u"Dialog", u"y"), nullptr);
}

}  // namespace
