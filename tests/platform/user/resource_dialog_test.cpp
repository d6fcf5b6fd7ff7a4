// A dialog from the test program's compiled resources, run by DialogBoxParamW (the manager's road through
// FindResourceW and DialogBoxIndirectParamW is the manager tests'). Enter reaches the template's default
// button; the combo boxes sort what the dialog adds.
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

TEST(ResourceDialog, RunsFromTheProgramsResources) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(999), nullptr, ui_test::RecordingDialogProc, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND)) << "no such template";
    ui_test::SetBehaviour(FillAndEndOnCreate);
    std::atomic<INT_PTR> result{0};
    ui_test::UiThread ui([&] {
        result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kPairDialog), nullptr,
                                 ui_test::RecordingDialogProc, 0);
    });
    ui_test::WaitIdle();
    HWND dialog = FindWindowW(u"Dialog", u"Add pair");
    ASSERT_NE(dialog, nullptr);
    WCHAR className[16];
    GetClassNameW(GetDlgItem(dialog, kFirst), className, 16);
    EXPECT_EQ(std::u16string(className), u"ComboBox");
    ui_test::Key(VK_DOWN);  // the first box moves to COM4:
    ASSERT_TRUE(CeUiInjectKey(VK_RETURN, 0));
    ui.Join();
    // Enter pressed the default button, which read both boxes: COM4: each once sorted, the first moved down.
    EXPECT_EQ(result, 44);
    ui_test::SetBehaviour(nullptr);
}

}  // namespace
