// The dialog manager's keyboard: Tab and Shift+Tab among tab stops, arrows within a group, Enter for the
// default button, Esc for IDCANCEL, mnemonics.
#include "user/dialogs/dialog.h"

#include <ceplatform_ui.h>

#include <algorithm>

namespace ce::ui {
namespace {

// Controls of a dialog in tab order (z-order), with whether each may take the focus by Tab.
std::vector<WindowPtr> Controls(const WindowPtr& dialog) {
    UiLock lock(UiMutex());
    return dialog->children;
}

bool Focusable(const WindowObject& control) {
    return control.Visible() && control.Enabled() && !control.destroying;
}

HWND ControlContaining(const WindowPtr& dialog, HWND window) {
    WindowPtr current = LookupWindow(window);
    UiLock lock(UiMutex());
    while (current) {
        WindowPtr parent = ParentOf(*current);
        if (parent == dialog) {
            return current->handle;
        }
        current = parent;
    }
    return nullptr;
}

// The next (or previous) control in the same group: groups start at a control with WS_GROUP.
HWND NextInGroup(const WindowPtr& dialog, HWND from, bool previous) {
    std::vector<WindowPtr> controls = Controls(dialog);
    auto self =
        std::find_if(controls.begin(), controls.end(), [&](const WindowPtr& c) { return c->handle == from; });
    if (self == controls.end()) {
        return nullptr;
    }
    UiLock lock(UiMutex());
    size_t first = static_cast<size_t>(self - controls.begin());
    while (first > 0 && (controls[first]->style & WS_GROUP) == 0) {
        --first;
    }
    size_t end = static_cast<size_t>(self - controls.begin()) + 1;
    while (end < controls.size() && (controls[end]->style & WS_GROUP) == 0) {
        ++end;
    }
    const size_t count = end - first;
    size_t index = static_cast<size_t>(self - controls.begin()) - first;
    for (size_t step = 1; step < count; ++step) {
        index = previous ? (index + count - 1) % count : (index + 1) % count;
        if (Focusable(*controls[first + index])) {
            return controls[first + index]->handle;
        }
    }
    return nullptr;
}

// Mnemonics: a button is clicked, a static hands the focus to the control after it, others take the focus.
bool HandleMnemonic(const WindowPtr& dialog, char16_t typed) {
    const char16_t key = static_cast<char16_t>(typed >= u'a' && typed <= u'z' ? typed - u'a' + u'A' : typed);
    std::vector<WindowPtr> controls = Controls(dialog);
    for (size_t i = 0; i < controls.size(); ++i) {
        const WindowPtr& control = controls[i];
        bool match;
        {
            UiLock lock(UiMutex());
            match = Focusable(*control) && MnemonicOf(control->text) == key &&
                    !(control->kind() == ClassKind::Static && (control->style & SS_NOPREFIX) != 0);
        }
        if (!match) {
            continue;
        }
        const LRESULT code = SendTo(control, WM_GETDLGCODE, 0, 0);
        if ((code & DLGC_BUTTON) != 0 || (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0) {
            SendTo(control, BM_CLICK, 0, 0);
        } else if ((code & DLGC_STATIC) != 0) {
            if (HWND next = GetNextDlgTabItem(dialog->handle, control->handle, FALSE)) {
                SetFocus(next);
            }
        } else {
            SetFocus(control->handle);
        }
        return true;
    }
    return false;
}

void PressEnter(const WindowPtr& dialog, HWND focus) {
    HWND hwnd = dialog->handle;
    if (focus != nullptr && IsChild(hwnd, focus) &&
        (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0) {
        // The focused push button is the default while it has the focus.
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                     reinterpret_cast<LPARAM>(focus));
        return;
    }
    const LRESULT defaultId = SendMessageW(hwnd, DM_GETDEFID, 0, 0);
    if (HIWORD(defaultId) == DC_HASDEFID) {
        HWND button = GetDlgItem(hwnd, LOWORD(defaultId));
        if (button == nullptr || IsWindowEnabled(button)) {
            SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(LOWORD(defaultId), BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
        }
        return;
    }
    SendMessageW(hwnd, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDOK)));
}

}  // namespace
}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    WindowPtr dialog = WindowOrFail(hDlg);
    if (!dialog) {
        return nullptr;
    }
    std::vector<WindowPtr> controls = Controls(dialog);
    UiLock lock(UiMutex());
    std::vector<WindowPtr> stops;
    for (const WindowPtr& control : controls) {
        if ((control->style & WS_TABSTOP) != 0 && Focusable(*control)) {
            stops.push_back(control);
        }
    }
    if (stops.empty()) {
        return nullptr;
    }
    auto position =
        std::find_if(controls.begin(), controls.end(), [&](const WindowPtr& c) { return c->handle == hCtl; });
    if (hCtl == nullptr || position == controls.end()) {
        return bPrevious ? stops.back()->handle : stops.front()->handle;
    }
    // Walk from the given control in z-order, wrapping around, to the next tab stop.
    const size_t count = controls.size();
    size_t index = static_cast<size_t>(position - controls.begin());
    for (size_t step = 1; step <= count; ++step) {
        index = bPrevious ? (index + count - 1) % count : (index + 1) % count;
        const WindowPtr& candidate = controls[index];
        if ((candidate->style & WS_TABSTOP) != 0 && Focusable(*candidate)) {
            return candidate->handle;
        }
    }
    return hCtl;
}

extern "C" BOOL WINAPI IsDialogMessageW(HWND hDlg, LPMSG lpMsg) {
    WindowPtr dialog = LookupWindow(hDlg);
    if (!dialog || lpMsg == nullptr) {
        return FALSE;
    }
    if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd)) {
        return FALSE;
    }
    const LRESULT code =
        SendMessageW(lpMsg->hwnd, WM_GETDLGCODE, lpMsg->wParam, reinterpret_cast<LPARAM>(lpMsg));
    if ((code & DLGC_WANTMESSAGE) == 0) {
        switch (lpMsg->message) {
            case WM_KEYDOWN:
                switch (lpMsg->wParam) {
                    case VK_TAB:
                        if ((code & DLGC_WANTTAB) == 0) {
                            SendMessageW(hDlg, WM_NEXTDLGCTL, (GetKeyState(VK_SHIFT) & 0x8000) != 0 ? 1 : 0,
                                         0);
                            return TRUE;
                        }
                        break;
                    case VK_LEFT:
                    case VK_UP:
                    case VK_RIGHT:
                    case VK_DOWN:
                        if ((code & DLGC_WANTARROWS) == 0) {
                            const bool previous = lpMsg->wParam == VK_LEFT || lpMsg->wParam == VK_UP;
                            HWND control = ControlContaining(dialog, lpMsg->hwnd);
                            if (HWND next = control ? NextInGroup(dialog, control, previous) : nullptr) {
                                SetFocus(next);
                            }
                            return TRUE;
                        }
                        break;
                    case VK_ESCAPE:
                    case VK_CANCEL:
                        SendMessageW(hDlg, WM_COMMAND, IDCANCEL,
                                     reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
                        return TRUE;
                    case VK_RETURN:
                        PressEnter(dialog, lpMsg->hwnd);
                        return TRUE;
                    default:
                        break;
                }
                break;
            case WM_CHAR:
                if ((code & DLGC_WANTCHARS) != 0) {
                    break;
                }
                // Tab, Enter and Esc made their characters too; the keys above did their work.
                if (lpMsg->wParam == u'\t' || lpMsg->wParam == u'\r' || lpMsg->wParam == 0x1B) {
                    return TRUE;
                }
                if (HandleMnemonic(dialog, static_cast<char16_t>(lpMsg->wParam))) {
                    return TRUE;
                }
                break;
            case WM_SYSCHAR:
                if (HandleMnemonic(dialog, static_cast<char16_t>(lpMsg->wParam))) {
                    return TRUE;
                }
                break;
            default:
                break;
        }
    }
    TranslateMessage(lpMsg);
    DispatchMessageW(lpMsg);
    return TRUE;
}
