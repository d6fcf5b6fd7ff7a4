// The dialog manager: dialogs from templates, the default dialog procedure, the modal loop and EndDialog.
#include "user/dialogs/dialog.h"

#include "user/gdi/gdi.h"
#include "user/windows/geometry.h"

#include <new>

namespace ce::ui {
namespace {

// A template handed over by address only is read up to this many bytes; the parser stops at its end.
constexpr size_t kMaxTemplateBytes = 64 * 1024;

// Class ordinals of dialog items.
const char16_t* ClassOfOrdinal(WORD ordinal) {
    switch (ordinal) {
        case 0x0080:
            return u"Button";
        case 0x0081:
            return u"Edit";
        case 0x0082:
            return u"Static";
        case 0x0083:
            return u"ListBox";
        case 0x0084:
            return u"ScrollBar";
        case 0x0085:
            return u"ComboBox";
        default:
            return nullptr;
    }
}

bool IsChildOf(HWND dialog, HWND window) {
    return window != nullptr && IsChild(dialog, window);
}

void SaveFocus(const WindowPtr& dialog) {
    HWND focus = FocusWindowAnyThread();
    if (IsChildOf(dialog->handle, focus)) {
        UiLock lock(UiMutex());
        dialog->dialog->savedFocus = focus;
    }
}

void RestoreFocus(const WindowPtr& dialog) {
    HWND target;
    {
        UiLock lock(UiMutex());
        target = dialog->dialog->savedFocus;
    }
    WindowPtr saved = LookupWindow(target);
    bool usable = false;
    if (saved) {
        UiLock lock(UiMutex());
        usable = IsDescendant(dialog, saved) && saved != dialog && EnabledWithParents(*saved) &&
                 !saved->destroying;
    }
    if (!usable) {
        target = GetNextDlgTabItem(dialog->handle, nullptr, FALSE);
        UiLock lock(UiMutex());
        dialog->dialog->savedFocus = target;
    }
    if (target != nullptr && FocusWindowAnyThread() != target) {
        SetFocus(target);
    }
}

// Win32's dialog procedures answer these through their return value instead of DWL_MSGRESULT.
bool AnswersDirectly(UINT msg) {
    switch (msg) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
            return true;
        default:
            return false;
    }
}

LRESULT DefaultIdOfButtons(const WindowPtr& dialog) {
    std::vector<WindowPtr> children;
    {
        UiLock lock(UiMutex());
        if (dialog->dialog->ended) {
            return 0;
        }
        if (dialog->dialog->defaultId != 0) {
            return MAKELONG(dialog->dialog->defaultId, DC_HASDEFID);
        }
        children = dialog->children;
    }
    for (const WindowPtr& child : children) {
        if ((SendTo(child, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0) {
            return MAKELONG(LOWORD(child->id), DC_HASDEFID);
        }
    }
    return 0;
}

void SetDefaultId(const WindowPtr& dialog, WORD id) {
    WORD previous;
    {
        UiLock lock(UiMutex());
        previous = dialog->dialog->defaultId;
        dialog->dialog->defaultId = id;
    }
    if (previous != 0 && previous != id) {
        if (HWND old = GetDlgItem(dialog->handle, previous);
            old != nullptr && (SendMessageW(old, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)) {
            SendMessageW(old, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
        }
    }
    if (HWND button = GetDlgItem(dialog->handle, id);
        button != nullptr && (SendMessageW(button, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON)) {
        SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    }
}

LRESULT DefaultDialogHandling(const WindowPtr& dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = dialog->handle;
    switch (msg) {
        case WM_ERASEBKGND: {
            RECT client;
            {
                UiLock lock(UiMutex());
                client = ClientRectLocal(*dialog);
            }
            FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_STATIC));
            return 1;
        }
        case WM_SHOWWINDOW:
            if (!wParam) {
                SaveFocus(dialog);
            }
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) {
                RestoreFocus(dialog);
            } else {
                SaveFocus(dialog);
            }
            return 0;
        case WM_SETFOCUS:
            RestoreFocus(dialog);
            return 0;
        case WM_CLOSE: {
            HWND cancel = GetDlgItem(hwnd, IDCANCEL);
            if (cancel == nullptr || IsWindowEnabled(cancel)) {
                PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                             reinterpret_cast<LPARAM>(cancel));
            }
            return 0;
        }
        case DM_GETDEFID:
            return DefaultIdOfButtons(dialog);
        case DM_SETDEFID:
            SetDefaultId(dialog, static_cast<WORD>(wParam));
            return TRUE;
        case WM_NEXTDLGCTL: {
            HWND target =
                LOWORD(lParam) != 0
                    ? reinterpret_cast<HWND>(wParam)
                    : GetNextDlgTabItem(hwnd, GetFocus() ? GetFocus() : FocusWindowAnyThread(), wParam != 0);
            if (target != nullptr) {
                SetFocus(target);
            }
            return 0;
        }
        case WM_GETFONT: {
            UiLock lock(UiMutex());
            return reinterpret_cast<LRESULT>(dialog->dialog->font);
        }
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

HWND CreateDialogFromTemplate(HINSTANCE instance, const DialogTemplate& dialogTemplate, HWND owner,
                              DLGPROC proc, LPARAM param, bool modal) {
    std::u16string className = u"Dialog";
    if (dialogTemplate.windowClass.ordinal != 0) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (!dialogTemplate.windowClass.text.empty()) {
        className = dialogTemplate.windowClass.text;
    }
    const DWORD style = dialogTemplate.style;
    const bool child = (style & WS_CHILD) != 0;
    HFONT font = nullptr;
    if ((style & DS_SETFONT) != 0) {
        font = CreateDialogFont(dialogTemplate.typeface, dialogTemplate.pointSize);
    }
    const RECT insets = FrameInsetsForStyle(style, dialogTemplate.exStyle);
    const int width = DluToPixelsX(dialogTemplate.cx) + insets.left + insets.right;
    const int height = DluToPixelsY(dialogTemplate.cy) + insets.top + insets.bottom;
    int x = DluToPixelsX(dialogTemplate.x);
    int y = DluToPixelsY(dialogTemplate.y);
    if ((style & DS_CENTER) != 0 && !child) {
        x = (kScreenWidthPx - width) / 2;
        y = (kScreenHeightPx - height) / 2;
    } else if (!child && owner != nullptr && (style & DS_ABSALIGN) == 0) {
        POINT origin{0, 0};
        ClientToScreen(owner, &origin);
        x += origin.x;
        y += origin.y;
    }
    HWND hwnd = CreateWindowExW(dialogTemplate.exStyle, className.c_str(), dialogTemplate.caption.c_str(),
                                style & ~WS_VISIBLE, x, y, width, height, owner, nullptr, instance,
                                reinterpret_cast<LPVOID>(param));
    WindowPtr dialog = LookupWindow(hwnd);
    if (!dialog || !dialog->dialog) {
        if (hwnd != nullptr) {
            DestroyWindow(hwnd);
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        }
        if (font != nullptr) {
            DeleteObject(font);
        }
        return nullptr;
    }
    {
        UiLock lock(UiMutex());
        dialog->dialog->proc = proc;
        dialog->dialog->font = font;
        dialog->dialog->typeface = dialogTemplate.typeface;
        dialog->dialog->pointSize = dialogTemplate.pointSize;
    }
    if (font != nullptr) {
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    }
    for (const DialogItemTemplate& item : dialogTemplate.items) {
        const char16_t* itemClass = item.windowClass.ordinal != 0 ? ClassOfOrdinal(item.windowClass.ordinal)
                                                                  : item.windowClass.text.c_str();
        const std::u16string text = item.title.ordinal != 0 ? std::u16string() : item.title.text;
        HWND control =
            itemClass == nullptr
                ? nullptr
                : CreateWindowExW(
                      item.exStyle | WS_EX_NOPARENTNOTIFY, itemClass, text.c_str(), item.style | WS_CHILD,
                      DluToPixelsX(item.x), DluToPixelsY(item.y), DluToPixelsX(item.cx),
                      DluToPixelsY(item.cy), hwnd,
                      reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(LOWORD(item.id))), instance,
                      item.creationData.empty() ? nullptr : const_cast<BYTE*>(item.creationData.data()));
        if (control == nullptr) {
            if ((style & DS_NOFAILCREATE) != 0) {
                continue;
            }
            const DWORD error = itemClass == nullptr ? ERROR_CANNOT_FIND_WND_CLASS : GetLastError();
            DestroyWindow(hwnd);
            SetLastError(error);
            return nullptr;
        }
        if (font != nullptr) {
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
        }
        if ((SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0) {
            UiLock lock(UiMutex());
            dialog->dialog->defaultId = LOWORD(item.id);
        }
    }
    HWND focus = GetNextDlgTabItem(hwnd, nullptr, FALSE);
    if (SendMessageW(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param) != 0 && IsWindow(hwnd)) {
        // A true answer asks for the default focus: the first tab stop.
        focus = GetNextDlgTabItem(hwnd, nullptr, FALSE);
        if (focus != nullptr) {
            SetFocus(focus);
        } else if (!child) {
            SetFocus(hwnd);
        }
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!modal && (style & WS_VISIBLE) != 0) {
        ShowWindow(hwnd, SW_SHOWNORMAL);
    }
    return hwnd;
}

INT_PTR RunModalLoop(HWND hwnd, HWND owner) {
    WindowPtr dialog = LookupWindow(hwnd);
    if (!dialog) {
        return -1;
    }
    for (;;) {
        {
            UiLock lock(UiMutex());
            if (dialog->dialog->ended) {
                break;
            }
        }
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            bool show;
            {
                UiLock lock(UiMutex());
                show = !dialog->Visible() && !dialog->dialog->ended;
            }
            if (show) {
                // Shown once everything the initialisation posted is done, as Win32's modal loop does.
                ShowWindow(hwnd, SW_SHOWNORMAL);
                continue;
            }
            if (!GetMessageW(&msg, nullptr, 0, 0)) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
        } else if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsWindow(hwnd)) {
            return 0;
        }
        if (!IsDialogMessageW(hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!IsWindow(hwnd)) {
            return 0;
        }
    }
    INT_PTR result;
    HWND disabledOwner;
    {
        UiLock lock(UiMutex());
        result = dialog->dialog->result;
        disabledOwner = dialog->dialog->disabledOwner;
        dialog->dialog->disabledOwner = nullptr;
    }
    if (disabledOwner != nullptr) {
        EnableWindow(disabledOwner, TRUE);  // a loop ended by WM_QUIT never saw EndDialog
    }
    DestroyWindow(hwnd);
    return result;
}

INT_PTR RunDialog(HINSTANCE instance, const DialogTemplate& dialogTemplate, HWND owner, DLGPROC proc,
                  LPARAM param) {
    WindowPtr ownerWindow;
    if (owner != nullptr) {
        ownerWindow = WindowOrFail(owner);
        if (!ownerWindow) {
            return 0;
        }
        UiLock lock(UiMutex());
        ownerWindow = TopLevelOf(ownerWindow);
        owner = ownerWindow->handle;
    }
    // The owner is disabled before the dialog exists, so that it never takes input meanwhile.
    const bool disableOwner = ownerWindow && IsWindowEnabled(owner);
    if (disableOwner) {
        EnableWindow(owner, FALSE);
    }
    HWND hwnd = CreateDialogFromTemplate(instance, dialogTemplate, owner, proc, param, true);
    if (hwnd == nullptr) {
        if (disableOwner) {
            EnableWindow(owner, TRUE);
        }
        return -1;
    }
    if (disableOwner) {
        WindowPtr dialog = LookupWindow(hwnd);
        UiLock lock(UiMutex());
        dialog->dialog->disabledOwner = owner;
    }
    return RunModalLoop(hwnd, owner);
}

}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

namespace {

bool Parse(LPCDLGTEMPLATEW data, size_t size, DialogTemplate* parsed) {
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    try {
        if (!ParseDialogTemplate(data, size, parsed)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    return true;
}

}  // namespace

extern "C" INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate,
                                                  HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    DialogTemplate parsed;
    if (!Parse(hDialogTemplate, kMaxTemplateBytes, &parsed)) {
        return -1;
    }
    return RunDialog(hInstance, parsed, hWndParent, lpDialogFunc, dwInitParam);
}

extern "C" INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    HRSRC resource = FindResourceW(hInstance, lpTemplateName, RT_DIALOG);
    if (resource == nullptr) {
        return -1;
    }
    HGLOBAL loaded = LoadResource(hInstance, resource);
    const DWORD size = SizeofResource(hInstance, resource);
    DialogTemplate parsed;
    if (loaded == nullptr || !Parse(static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)), size, &parsed)) {
        return -1;
    }
    return RunDialog(hInstance, parsed, hWndParent, lpDialogFunc, dwInitParam);
}

extern "C" HWND WINAPI CreateDialogIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate,
                                                  HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    DialogTemplate parsed;
    if (!Parse(lpTemplate, kMaxTemplateBytes, &parsed)) {
        return nullptr;
    }
    if (hWndParent != nullptr && !WindowOrFail(hWndParent)) {
        return nullptr;
    }
    return CreateDialogFromTemplate(hInstance, parsed, hWndParent, lpDialogFunc, dwInitParam, false);
}

extern "C" LRESULT WINAPI DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WindowPtr dialog = LookupWindow(hDlg);
    if (!dialog || !dialog->dialog) {
        return DefWindowProcW(hDlg, Msg, wParam, lParam);
    }
    DLGPROC proc;
    {
        UiLock lock(UiMutex());
        proc = dialog->dialog->proc;
        dialog->dialog->msgResult = 0;
    }
    const INT_PTR answer = proc != nullptr ? proc(hDlg, Msg, wParam, lParam) : 0;
    if (!LookupWindow(hDlg)) {
        return AnswersDirectly(Msg) ? answer : 0;
    }
    if (answer != 0 || AnswersDirectly(Msg)) {
        if (AnswersDirectly(Msg)) {
            return answer;
        }
        UiLock lock(UiMutex());
        return dialog->dialog->msgResult;
    }
    return DefaultDialogHandling(dialog, Msg, wParam, lParam);
}

extern "C" BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    WindowPtr dialog = WindowOrFail(hDlg);
    if (!dialog) {
        return FALSE;
    }
    if (!dialog->dialog) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    HWND owner;
    {
        UiLock lock(UiMutex());
        dialog->dialog->ended = true;
        dialog->dialog->result = nResult;
        owner = dialog->dialog->disabledOwner;
        dialog->dialog->disabledOwner = nullptr;
    }
    if (owner != nullptr) {
        EnableWindow(owner, TRUE);
    }
    if (IsChildOf(hDlg, FocusWindowAnyThread())) {
        SetFocus(hDlg);
    }
    SetWindowPosition(dialog, 0, 0, 0, 0,
                      SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    if (ActiveWindowAnyThread() == hDlg) {
        HWND dialogOwner;
        {
            UiLock lock(UiMutex());
            dialogOwner = dialog->owner;
        }
        if (dialogOwner != nullptr && IsWindowEnabled(dialogOwner) && IsWindowVisible(dialogOwner)) {
            SetForegroundWindow(dialogOwner);
        } else {
            ActivateAnotherWindow(dialog);
        }
    }
    PostMessageW(hDlg, WM_NULL, 0, 0);
    return TRUE;
}

extern "C" HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    WindowPtr dialog = WindowOrFail(hDlg);
    if (!dialog) {
        return nullptr;
    }
    UiLock lock(UiMutex());
    for (const WindowPtr& child : dialog->children) {
        if (LOWORD(child->id) == LOWORD(nIDDlgItem) && !child->destroying) {
            return child->handle;
        }
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

extern "C" int WINAPI GetDlgCtrlID(HWND hWnd) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return 0;
    }
    UiLock lock(UiMutex());
    return window->IsChild() ? static_cast<int>(window->id) : 0;
}

extern "C" BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item != nullptr ? SetWindowTextW(item, lpString) : FALSE;
}

extern "C" UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax) {
    if (lpString != nullptr && cchMax > 0) {
        lpString[0] = 0;
    }
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item != nullptr ? static_cast<UINT>(GetWindowTextW(item, lpString, cchMax)) : 0;
}

extern "C" LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                              LPARAM lParam) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item != nullptr ? SendMessageW(item, Msg, wParam, lParam) : 0;
}

extern "C" BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
    WindowPtr dialog = WindowOrFail(hDlg);
    if (!dialog || lpRect == nullptr) {
        return FALSE;
    }
    *lpRect = RECT{DluToPixelsX(lpRect->left), DluToPixelsY(lpRect->top), DluToPixelsX(lpRect->right),
                   DluToPixelsY(lpRect->bottom)};
    return TRUE;
}

extern "C" LONG WINAPI GetDialogBaseUnits(void) {
    return MAKELONG(kBaseUnitXPx, kBaseUnitYPx);
}
