// Message boxes: a modal dialog of class "Dialog" built by the window system, centred on the screen, with
// the caption, the text, an optional icon mark and the buttons of the style. Y, N, A, R and I press their
// buttons through the mnemonics of the labels.
#include "user/dialogs/dialog.h"
#include "user/windows/geometry.h"

#include <algorithm>
#include <new>

namespace ce::ui {
namespace {

// Layout in cells of the dialog font (4 x 8 dialog units).
constexpr int kDluPerCellX = 4;
constexpr int kDluPerCellY = 8;
constexpr int kMaxTextColumns = 26;
constexpr int kButtonColumns = 8;
constexpr int kIconColumns = 3;
constexpr int kMarginCells = 1;
constexpr int kMaxDialogColumns = kScreenWidthPx / kCellWidthPx - 2;
constexpr WORD kTextId = 0xFFFF;
constexpr WORD kIconId = 0x0440;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kButtonClass = 0x0080;

struct ButtonSpec {
    int id;
    const char16_t* label;
};

struct BoxInfo {
    UINT type;
    std::vector<ButtonSpec> buttons;
    int defaultId;
};

std::vector<ButtonSpec> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return {{IDOK, u"OK"}};
        case MB_OKCANCEL:
            return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
        case MB_ABORTRETRYIGNORE:
            return {{IDABORT, u"&Abort"}, {IDRETRY, u"&Retry"}, {IDIGNORE, u"&Ignore"}};
        case MB_YESNOCANCEL:
            return {{IDYES, u"&Yes"}, {IDNO, u"&No"}, {IDCANCEL, u"Cancel"}};
        case MB_YESNO:
            return {{IDYES, u"&Yes"}, {IDNO, u"&No"}};
        case MB_RETRYCANCEL:
            return {{IDRETRY, u"&Retry"}, {IDCANCEL, u"Cancel"}};
        default:
            return {};
    }
}

// The mark a terminal shows for the icon of the style.
const char16_t* IconMark(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            return u"X";
        case MB_ICONQUESTION:
            return u"?";
        case MB_ICONEXCLAMATION:
            return u"!";
        case MB_ICONASTERISK:
            return u"i";
        default:
            return nullptr;
    }
}

// Breaks the text into lines of at most `columns` characters, at blanks where it can.
std::vector<std::u16string> WrapText(const std::u16string& text, size_t columns) {
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t newline = text.find(u'\n', start);
        std::u16string paragraph =
            text.substr(start, newline == std::u16string::npos ? std::u16string::npos : newline - start);
        while (paragraph.size() > columns) {
            size_t cut = paragraph.rfind(u' ', columns);
            if (cut == std::u16string::npos || cut == 0) {
                cut = columns;
            }
            lines.push_back(paragraph.substr(0, cut));
            paragraph.erase(0, paragraph[cut] == u' ' ? cut + 1 : cut);
        }
        lines.push_back(paragraph);
        if (newline == std::u16string::npos) {
            break;
        }
        start = newline + 1;
    }
    return lines;
}

DialogItemTemplate MakeItem(DWORD style, int x, int y, int columns, int rows, WORD id, WORD windowClass,
                            std::u16string text) {
    DialogItemTemplate item;
    item.style = WS_CHILD | WS_VISIBLE | style;
    item.x = static_cast<short>(x * kDluPerCellX);
    item.y = static_cast<short>(y * kDluPerCellY);
    item.cx = static_cast<short>(columns * kDluPerCellX);
    item.cy = static_cast<short>(rows * kDluPerCellY);
    item.id = id;
    item.windowClass.ordinal = windowClass;
    item.title.text = std::move(text);
    return item;
}

DialogTemplate Layout(const std::u16string& text, const std::u16string& caption, const BoxInfo& box) {
    std::vector<std::u16string> lines = WrapText(text, kMaxTextColumns);
    std::u16string wrapped;
    size_t textColumns = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        wrapped += (i == 0 ? u"" : u"\n") + lines[i];
        textColumns = std::max(textColumns, lines[i].size());
    }
    const int iconColumns = IconMark(box.type) != nullptr ? kIconColumns : 0;
    const int buttonCount = static_cast<int>(box.buttons.size());
    const int buttonsWidth = buttonCount * kButtonColumns + (buttonCount - 1);
    const int width =
        std::min(kMaxDialogColumns,
                 std::max(static_cast<int>(textColumns) + iconColumns, buttonsWidth) + 2 * kMarginCells);
    const int textRows = static_cast<int>(lines.size());
    const int buttonRow = kMarginCells + textRows + 1;

    DialogTemplate dialog;
    dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT;
    dialog.cx = static_cast<short>(width * kDluPerCellX);
    dialog.cy = static_cast<short>((buttonRow + 1 + kMarginCells) * kDluPerCellY);
    dialog.caption = caption;
    dialog.pointSize = 8;
    dialog.typeface = u"System";
    if (iconColumns != 0) {
        dialog.items.push_back(MakeItem(SS_CENTER | SS_NOPREFIX, kMarginCells, kMarginCells, 1, 1, kIconId,
                                        kStaticClass, IconMark(box.type)));
    }
    dialog.items.push_back(MakeItem(SS_LEFT | SS_NOPREFIX, kMarginCells + iconColumns, kMarginCells,
                                    width - 2 * kMarginCells - iconColumns, textRows, kTextId, kStaticClass,
                                    wrapped));
    int x = (width - buttonsWidth) / 2;
    for (size_t i = 0; i < box.buttons.size(); ++i) {
        const ButtonSpec& button = box.buttons[i];
        const DWORD style = WS_TABSTOP | (i == 0 ? WS_GROUP : 0) |
                            (button.id == box.defaultId ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        dialog.items.push_back(MakeItem(style, x, buttonRow, kButtonColumns, 1, static_cast<WORD>(button.id),
                                        kButtonClass, button.label));
        x += kButtonColumns + 1;
    }
    return dialog;
}

bool HasButton(const BoxInfo& box, int id) {
    return std::any_of(box.buttons.begin(), box.buttons.end(),
                       [id](const ButtonSpec& b) { return b.id == id; });
}

INT_PTR CALLBACK MessageBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            const auto* box = reinterpret_cast<const BoxInfo*>(lParam);
            SetForegroundWindow(hwnd);
            SetFocus(GetDlgItem(hwnd, box->defaultId));
            return FALSE;
        }
        case WM_COMMAND: {
            const auto* box = reinterpret_cast<const BoxInfo*>(GetWindowLongPtrW(hwnd, DWLP_USER));
            const int id = LOWORD(wParam);
            if (box == nullptr || HIWORD(wParam) != BN_CLICKED) {
                return FALSE;
            }
            if (HasButton(*box, id)) {
                EndDialog(hwnd, id);
            } else if (id == IDCANCEL && (box->type & MB_TYPEMASK) == MB_OK) {
                EndDialog(hwnd, IDOK);  // Esc and the close box answer a lone OK
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace
}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    if (hWnd != nullptr && !WindowOrFail(hWnd)) {
        return 0;
    }
    BoxInfo box;
    box.type = uType;
    box.buttons = ButtonsOf(uType);
    if (box.buttons.empty()) {
        SetLastError(ERROR_INVALID_MSGBOX_STYLE);
        return 0;
    }
    const size_t defaultIndex = (uType & MB_DEFMASK) >> 8;
    box.defaultId = box.buttons[defaultIndex < box.buttons.size() ? defaultIndex : 0].id;
    try {
        const DialogTemplate dialog =
            Layout(lpText != nullptr ? lpText : u"", lpCaption != nullptr ? lpCaption : u"Error", box);
        const INT_PTR result =
            RunDialog(nullptr, dialog, hWnd, MessageBoxProc, reinterpret_cast<LPARAM>(&box));
        return result > 0 ? static_cast<int>(result) : 0;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
