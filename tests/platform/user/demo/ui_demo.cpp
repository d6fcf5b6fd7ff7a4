// A small dialog program written as for the device: a combo box, an owner-drawn icon button, a tree, a
// status line and buttons, one of which asks with a message box. The line under the buttons says what
// happened last. It writes how the dialog ended to the file named on its command line; "abort" as the
// second word makes the Ask button abort the program instead, to see the terminal given back after a crash.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui_demo.h"

namespace {

bool abortOnAsk = false;

void SetStatus(HWND dialog, const std::u16string& text) {
    SetDlgItemTextW(dialog, IDC_STATUS, text.c_str());
}

HTREEITEM AddItem(HWND tree, HTREEITEM parent, const WCHAR* text) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = const_cast<LPWSTR>(text);
    insert.item.lParam = reinterpret_cast<LPARAM>(text);  // the status line names the selected item
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void Fill(HWND dialog) {
    HWND combo = GetDlgItem(dialog, IDC_PORT);
    for (const WCHAR* port : {TEXT("COM2:"), TEXT("COM1:"), TEXT("KMX0:")}) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port));
    }
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    HWND tree = GetDlgItem(dialog, IDC_TREE);
    HIMAGELIST images = ImageList_Create(16, 16, ILC_MASK, 1, 0);
    ImageList_ReplaceIcon(images, -1, LoadIconW(nullptr, IDI_QUESTION));
    SendMessageW(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
    HTREEITEM ports = AddItem(tree, TVI_ROOT, TEXT("Ports"));
    AddItem(tree, ports, TEXT("COM1"));
    AddItem(tree, ports, TEXT("COM2"));
    HTREEITEM pairs = AddItem(tree, TVI_ROOT, TEXT("Pairs"));
    AddItem(tree, pairs, TEXT("KMX0"));
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(ports));
}

void Command(HWND dialog, WORD id, WORD code) {
    switch (id) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, id);
            break;
        case IDC_ASK:
            if (abortOnAsk) {
                std::abort();
            }
            SetStatus(dialog,
                      MessageBoxW(dialog, TEXT("Go on?"), TEXT("Ask"), MB_YESNO | MB_ICONQUESTION) == IDYES
                          ? TEXT("Answer: yes")
                          : TEXT("Answer: no"));
            break;
        case IDC_ICON:
            SetStatus(dialog, TEXT("Icon pressed"));
            break;
        case IDC_PORT:
            if (code == CBN_SELCHANGE) {
                WCHAR text[32] = {};
                GetDlgItemTextW(dialog, IDC_PORT, text, 32);
                SetStatus(dialog, std::u16string(TEXT("Port ")) + text);
            }
            break;
        default:
            break;
    }
}

}  // namespace

INT_PTR CALLBACK DemoProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG:
            Fill(dialog);
            return TRUE;
        case WM_COMMAND:
            Command(dialog, LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_TREE && header->code == TVN_SELCHANGEDW) {
                const auto* change = reinterpret_cast<const NMTREEVIEWW*>(lParam);
                SetStatus(dialog, std::u16string(TEXT("Selected ")) +
                                      reinterpret_cast<const WCHAR*>(change->itemNew.lParam));
            }
            return TRUE;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            const bool pressed = (item->itemState & ODS_SELECTED) != 0;
            DrawIconEx(item->hDC, 0, 0, LoadIconW(nullptr, pressed ? IDI_HAND : IDI_EXCLAMATION), 0, 0, 0,
                       nullptr, DI_NORMAL);
            return TRUE;
        }
        case WM_CLOSE:
            EndDialog(dialog, DEMO_CLOSED);
            return TRUE;
        default:
            return FALSE;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    // The command line: the result file, then "abort" or nothing.
    const std::u16string line = commandLine;
    const size_t blank = line.find(u' ');
    const std::string resultFile(line.begin(),
                                 blank == std::u16string::npos ? line.end() : line.begin() + blank);
    abortOnAsk =
        blank != std::u16string::npos && line.compare(blank + 1, std::u16string::npos, u"abort") == 0;
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&init);
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_DEMO), nullptr, DemoProc, 0);
    if (!resultFile.empty()) {
        if (FILE* out = std::fopen(resultFile.c_str(), "w")) {
            std::fprintf(out, "%d\n", static_cast<int>(result));
            std::fclose(out);
        }
    }
    return 0;
}
