// A dialog from the test program's compiled resources, run both ways programs do: DialogBoxParamW by
// identifier, and FindResourceW/LoadResource/DialogBoxIndirectParamW. Enter reaches the template's
// default button; the combo boxes sort what the dialog adds.
#include "ui_test_support.h"

#include <atomic>

namespace {

constexpr WORD kPairDialog = 144;
constexpr WORD kFirst = 1018;
constexpr WORD kSecond = 1019;
constexpr WORD kCreate = 1016;

INT_PTR FillAndEndOnCreate(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) {
        for (int m = 9; m >= 3; --m) {
            WCHAR name[8];
            wsprintfW(name, u"COM%d:", m);
            SendDlgItemMessageW(hwnd, kFirst, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
            SendDlgItemMessageW(hwnd, kSecond, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        }
        SendDlgItemMessageW(hwnd, kFirst, CB_SETCURSEL, 0, 0);
        SendDlgItemMessageW(hwnd, kSecond, CB_SETCURSEL, 1, 0);
        return FALSE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == kCreate) {
        WCHAR first[16], second[16];
        GetDlgItemTextW(hwnd, kFirst, first, 16);
        GetDlgItemTextW(hwnd, kSecond, second, 16);
        EndDialog(hwnd, (first[3] - u'0') * 10 + (second[3] - u'0'));
        return TRUE;
    }
    return FALSE;
}

class ResourceDialog : public ::testing::TestWithParam<bool> {};

TEST_P(ResourceDialog, RunsFromTheProgramsResources) {
    const bool byIdentifier = GetParam();
    ui_test::SetBehaviour(FillAndEndOnCreate);
    std::atomic<INT_PTR> result{0};
    ui_test::UiThread ui([&] {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        if (byIdentifier) {
            result = DialogBoxParamW(instance, MAKEINTRESOURCEW(kPairDialog), nullptr,
                                     ui_test::RecordingDialogProc, 0);
            return;
        }
        HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(kPairDialog), RT_DIALOG);
        HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
        result = DialogBoxIndirectParamW(instance, static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)),
                                         nullptr, ui_test::RecordingDialogProc, 0);
    });
    ui_test::WaitIdle();
    HWND dialog = FindWindowW(u"Dialog", u"Add pair");
    ASSERT_NE(dialog, nullptr);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, 110 * 7 / 4);
    EXPECT_EQ(client.bottom, 52 * 14 / 8);
    WCHAR className[16];
    GetClassNameW(GetDlgItem(dialog, kFirst), className, 16);
    EXPECT_EQ(std::u16string(className), u"ComboBox");
    EXPECT_EQ(ui_test::TextOf(GetDlgItem(dialog, kFirst)), u"COM3:") << "sorted: the first free name";
    EXPECT_EQ(ui_test::TextOf(GetDlgItem(dialog, kSecond)), u"COM4:");
    EXPECT_EQ(CeUiGetFocusWindow(), GetDlgItem(dialog, kFirst));
    ASSERT_TRUE(CeUiInjectKey(VK_DOWN, 0));  // the first box moves to COM4:
    ui_test::WaitIdle();
    ASSERT_TRUE(CeUiInjectKey(VK_RETURN, 0));
    ui.Join();
    EXPECT_EQ(result, 44) << "Enter pressed the default button, which read both boxes";
    ui_test::SetBehaviour(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Ways, ResourceDialog, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "ByIdentifier" : "ByTemplate";
                         });

TEST(ResourceDialogErrors, AMissingTemplateFails) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(999), nullptr,
                              ui_test::RecordingDialogProc, 0),
              -1);
    EXPECT_NE(GetLastError(), 0xdeadbeefu);
}

}  // namespace
