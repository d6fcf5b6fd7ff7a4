// The public calls on one window: relatives, long values, text, state, position and rectangles.
#include "kernel/wide_string.h"
#include "user/dialogs/dialog.h"
#include "user/windows/geometry.h"
#include "user/windows/window.h"
#include "user/sharing/window_sharing.h"

#include <algorithm>
#include <cstring>

namespace ce::ui {
namespace {

// Internal WINDOWPOS flags (as Win32 keeps them) telling DefWindowProc which of WM_MOVE/WM_SIZE to send.
constexpr UINT kNoClientSize = 0x0800;
constexpr UINT kNoClientMove = 0x1000;

// One long value of a window. `pointerSlots` selects the DWLP_ layout of dialog slots and allows slots that
// hold pointers; the 32-bit calls refuse those, as they cannot carry a pointer of this host.
bool AccessLong(const WindowPtr& window, int index, bool pointerSlots, LONG_PTR* value,
                const LONG_PTR* update) {
    UiLock lock(UiMutex());
    LONG_PTR* slot = nullptr;
    LONG_PTR scratch = 0;
    switch (index) {
        case GWL_STYLE:
            scratch = static_cast<LONG_PTR>(static_cast<LONG>(window->style));
            *value = scratch;
            if (update) {
                window->style = static_cast<DWORD>(*update);
                TellFrontEndChanged();
            }
            return true;
        case GWL_EXSTYLE:
            *value = static_cast<LONG_PTR>(static_cast<LONG>(window->exStyle));
            if (update) {
                window->exStyle = static_cast<DWORD>(*update);
            }
            return true;
        case GWL_ID:
            slot = &window->id;
            break;
        case GWL_USERDATA:
            slot = &window->userData;
            break;
        case GWL_HWNDPARENT: {
            WindowPtr parent = ParentOf(*window);
            *value = reinterpret_cast<LONG_PTR>(parent ? parent->handle : window->owner);
            if (update && !window->IsChild()) {
                window->owner = reinterpret_cast<HWND>(*update);
            }
            return true;
        }
        case GWL_WNDPROC:
            if (!pointerSlots) {
                return false;
            }
            *value = reinterpret_cast<LONG_PTR>(window->proc);
            if (update) {
                window->proc = reinterpret_cast<WNDPROC>(*update);
            }
            return true;
        case GWL_HINSTANCE:
            if (!pointerSlots) {
                return false;
            }
            *value = reinterpret_cast<LONG_PTR>(window->instance);
            return !update;
        default:
            break;
    }
    if (slot == nullptr && index >= 0 && window->dialog) {
        DialogState& dialog = *window->dialog;
        const int msgResult = pointerSlots ? DWLP_MSGRESULT : DWL_MSGRESULT;
        const int dlgProc = pointerSlots ? DWLP_DLGPROC : DWL_DLGPROC;
        const int user = pointerSlots ? DWLP_USER : DWL_USER;
        if (index == msgResult) {
            slot = &dialog.msgResult;
        } else if (index == user) {
            slot = &dialog.user;
        } else if (index == dlgProc && pointerSlots) {
            *value = reinterpret_cast<LONG_PTR>(dialog.proc);
            if (update) {
                dialog.proc = reinterpret_cast<DLGPROC>(*update);
            }
            return true;
        } else {
            return false;
        }
    }
    if (slot == nullptr && index >= 0 && !window->dialog) {
        const size_t width = pointerSlots ? sizeof(LONG_PTR) : sizeof(LONG);
        if (static_cast<size_t>(index) + width > window->extraBytes.size()) {
            return false;
        }
        if (pointerSlots) {
            std::memcpy(&scratch, window->extraBytes.data() + index, width);
        } else {
            LONG narrow;
            std::memcpy(&narrow, window->extraBytes.data() + index, width);
            scratch = narrow;
        }
        *value = scratch;
        if (update) {
            if (pointerSlots) {
                std::memcpy(window->extraBytes.data() + index, update, width);
            } else {
                const LONG narrow = static_cast<LONG>(*update);
                std::memcpy(window->extraBytes.data() + index, &narrow, width);
            }
        }
        return true;
    }
    if (slot == nullptr) {
        return false;
    }
    *value = pointerSlots ? *slot : static_cast<LONG>(*slot);
    if (update) {
        *slot = *update;
    }
    return true;
}

LONG_PTR GetLong(HWND hwnd, int index, bool pointerSlots) {
    WindowPtr window = WindowOrFail(hwnd);
    LONG_PTR value = 0;
    if (window && !AccessLong(window, index, pointerSlots, &value, nullptr)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return value;
}

LONG_PTR SetLong(HWND hwnd, int index, LONG_PTR update, bool pointerSlots) {
    WindowPtr window = WindowOrFail(hwnd);
    LONG_PTR value = 0;
    if (window && !AccessLong(window, index, pointerSlots, &value, &update)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return value;
}

bool IsAncestorOf(const WindowPtr& ancestor, const WindowPtr& window) {
    return window != ancestor && IsDescendant(ancestor, window);
}

}  // namespace

bool SetWindowPosition(const WindowPtr& window, int x, int y, int cx, int cy, UINT flags) {
    WINDOWPOS pos{window->handle, nullptr, x, y, cx, cy, flags};
    {
        UiLock lock(UiMutex());
        if ((flags & SWP_NOMOVE) != 0) {
            pos.x = window->rect.left;
            pos.y = window->rect.top;
        }
        if ((flags & SWP_NOSIZE) != 0) {
            pos.cx = Width(window->rect);
            pos.cy = Height(window->rect);
        }
    }
    SendTo(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    bool moved, sized, shown, hidden;
    WindowPtr parent;
    {
        UiLock lock(UiMutex());
        const RECT old = window->rect;
        window->rect = RECT{pos.x, pos.y, pos.x + std::max(pos.cx, 0), pos.y + std::max(pos.cy, 0)};
        moved = old.left != window->rect.left || old.top != window->rect.top;
        sized = Width(old) != Width(window->rect) || Height(old) != Height(window->rect);
        shown = (pos.flags & SWP_SHOWWINDOW) != 0 && !window->Visible();
        hidden = (pos.flags & SWP_HIDEWINDOW) != 0 && window->Visible();
        if (shown) {
            window->style |= WS_VISIBLE;
        }
        if (hidden) {
            window->style &= ~WS_VISIBLE;
        }
        parent = ParentOf(*window);
        pos.flags |= (moved ? 0 : kNoClientMove) | (sized ? 0 : kNoClientSize);
    }
    if ((moved || sized || shown) && (pos.flags & SWP_NOREDRAW) == 0) {
        InvalidateTree(window);
    }
    if ((moved || sized || hidden) && parent) {
        Invalidate(parent);
    }
    TellFrontEndChanged();
    SendTo(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    return true;
}

// Sends WM_MOVE and WM_SIZE after a change of position, as DefWindowProc's WM_WINDOWPOSCHANGED does.
void SendMoveAndSize(const WindowPtr& window, const WINDOWPOS& pos) {
    const ClientPlacement placement = PlacementOf(window);
    if ((pos.flags & kNoClientMove) == 0) {
        SendTo(window, WM_MOVE, 0, placement.origin);
    }
    if ((pos.flags & kNoClientSize) == 0) {
        SendTo(window, WM_SIZE, SIZE_RESTORED, placement.size);
    }
}

// The lookup of top-level windows by class and title. Dialogs keep their procedure's title; class names
// compare without case, titles exactly as Win32 compares them, without case.
HWND FindTopLevelWindow(LPCWSTR className, LPCWSTR title) {
    std::shared_ptr<const WindowClass> windowClass;
    if (className != nullptr) {
        windowClass = FindWindowClass(className);
        if (!windowClass) {
            return nullptr;
        }
    }
    UiLock lock(UiMutex());
    for (const WindowPtr& top : TopLevelWindows()) {
        if (top->destroying || (windowClass && top->windowClass != windowClass)) {
            continue;
        }
        if (title != nullptr && !EqualsIgnoreCase(top->text, title)) {
            continue;
        }
        return top->handle;
    }
    return nullptr;
}

}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" HWND WINAPI GetParent(HWND hWnd) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return nullptr;
    }
    UiLock lock(UiMutex());
    WindowPtr parent = ParentOf(*window);
    if (parent) {
        return parent->handle;
    }
    // A popup's "parent" is its owner.
    return (window->style & WS_POPUP) != 0 ? window->owner : nullptr;
}

extern "C" HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return nullptr;
    }
    UiLock lock(UiMutex());
    WindowPtr parent = ParentOf(*window);
    const std::vector<WindowPtr>& siblings = parent ? parent->children : TopLevelWindows();
    auto self = std::find(siblings.begin(), siblings.end(), window);
    switch (uCmd) {
        case GW_HWNDFIRST:
            return siblings.empty() ? nullptr : siblings.front()->handle;
        case GW_HWNDLAST:
            return siblings.empty() ? nullptr : siblings.back()->handle;
        case GW_HWNDNEXT:
            return self != siblings.end() && self + 1 != siblings.end() ? (*(self + 1))->handle : nullptr;
        case GW_HWNDPREV:
            return self != siblings.end() && self != siblings.begin() ? (*(self - 1))->handle : nullptr;
        case GW_OWNER:
            return window->owner;
        case GW_CHILD:
            return window->children.empty() ? nullptr : window->children.front()->handle;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
}

extern "C" BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
    WindowPtr parent = LookupWindow(hWndParent);
    WindowPtr window = LookupWindow(hWnd);
    if (!parent || !window) {
        return FALSE;
    }
    UiLock lock(UiMutex());
    return IsAncestorOf(parent, window) ? TRUE : FALSE;
}

extern "C" DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    if (const auto foreign = ForeignGetWindowThreadProcessId(hWnd, lpdwProcessId)) {
        return *foreign;
    }
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return 0;
    }
    if (lpdwProcessId != nullptr) {
        *lpdwProcessId = GetCurrentProcessId();
    }
    return window->threadId;
}

extern "C" LONG WINAPI GetWindowLongW(HWND hWnd, int nIndex) {
    return static_cast<LONG>(GetLong(hWnd, nIndex, false));
}

extern "C" LONG WINAPI SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) {
    return static_cast<LONG>(SetLong(hWnd, nIndex, dwNewLong, false));
}

extern "C" LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
    return GetLong(hWnd, nIndex, true);
}

extern "C" LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    return SetLong(hWnd, nIndex, dwNewLong, true);
}

extern "C" BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    return SendTo(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString != nullptr ? lpString : u"")) != 0
               ? TRUE
               : FALSE;
}

extern "C" int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
    if (const auto foreign = ForeignGetWindowText(hWnd, lpString, nMaxCount)) {
        return *foreign;
    }
    WindowPtr window = WindowOrFail(hWnd);
    if (!window || lpString == nullptr || nMaxCount <= 0) {
        if (window) {
            SetLastError(ERROR_INVALID_PARAMETER);
        }
        return 0;
    }
    lpString[0] = 0;
    return static_cast<int>(
        SendTo(window, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

extern "C" int WINAPI GetWindowTextLengthW(HWND hWnd) {
    WindowPtr window = WindowOrFail(hWnd);
    return window ? static_cast<int>(SendTo(window, WM_GETTEXTLENGTH, 0, 0)) : 0;
}

extern "C" BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    bool wasDisabled;
    {
        UiLock lock(UiMutex());
        wasDisabled = !window->Enabled();
    }
    if (bEnable && wasDisabled) {
        {
            UiLock lock(UiMutex());
            window->style &= ~WS_DISABLED;
        }
        SendTo(window, WM_ENABLE, TRUE, 0);
        TellFrontEndChanged();  // controls repaint themselves on WM_ENABLE
    } else if (!bEnable && !wasDisabled) {
        SendTo(window, WM_CANCELMODE, 0, 0);
        bool hadFocus;
        {
            UiLock lock(UiMutex());
            window->style |= WS_DISABLED;
            hadFocus = FocusWindowAnyThread() == hWnd;
        }
        if (hadFocus) {
            ChangeFocus(nullptr);
        }
        SendTo(window, WM_ENABLE, FALSE, 0);
        TellFrontEndChanged();
    }
    return wasDisabled ? TRUE : FALSE;
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    UiLock lock(UiMutex());
    return window->Enabled() ? TRUE : FALSE;
}

extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    if (const auto foreign = ForeignShowWindow(hWnd, nCmdShow)) {
        return *foreign;
    }
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    if (nCmdShow < SW_HIDE || nCmdShow > SW_SHOWDEFAULT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const bool show = nCmdShow != SW_HIDE;
    const bool activate = show && nCmdShow != SW_SHOWNA && nCmdShow != SW_SHOWNOACTIVATE &&
                          nCmdShow != SW_SHOWMINNOACTIVE && nCmdShow != SW_MINIMIZE;
    bool wasVisible, child;
    {
        UiLock lock(UiMutex());
        wasVisible = window->Visible();
        child = window->IsChild();
    }
    if (show != wasVisible) {
        SendTo(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        SetWindowPosition(window, 0, 0, 0, 0,
                          SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                              (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
        if (!child) {
            ShareWindow(window);
        }
    }
    if (show && activate && !child) {
        bool canActivate;
        {
            UiLock lock(UiMutex());
            canActivate = window->Visible() && window->Enabled() && !window->destroying;
        }
        if (canActivate) {
            Activate(window);
        }
    } else if (!show && wasVisible) {
        WindowPtr focus = LookupWindow(FocusWindowAnyThread());
        WindowPtr parent;
        bool focusInside;
        {
            UiLock lock(UiMutex());
            focusInside = focus && IsDescendant(window, focus);
            parent = ParentOf(*window);
        }
        if (focusInside) {
            ChangeFocus(parent);
        }
        if (!child && ActiveWindowAnyThread() == hWnd) {
            ActivateAnotherWindow(window);
        }
    }
    return wasVisible ? TRUE : FALSE;
}

extern "C" BOOL WINAPI IsWindowVisible(HWND hWnd) {
    if (const auto foreign = ForeignIsWindowVisible(hWnd)) {
        return *foreign;
    }
    WindowPtr window = LookupWindow(hWnd);
    if (!window) {
        return FALSE;
    }
    UiLock lock(UiMutex());
    return VisibleOnScreen(*window) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    return SetWindowPosition(window, X, Y, nWidth, nHeight,
                             SWP_NOZORDER | SWP_NOACTIVATE | (bRepaint ? 0 : SWP_NOREDRAW))
               ? TRUE
               : FALSE;
}

extern "C" BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                                    UINT uFlags) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    if ((uFlags & SWP_NOZORDER) == 0 && !window->IsChild() && hWndInsertAfter == HWND_TOP) {
        UiLock lock(UiMutex());
        auto& tops = TopLevelWindows();
        std::erase(tops, window);
        tops.insert(tops.begin(), window);
    }
    SetWindowPosition(window, X, Y, cx, cy, uFlags & ~(SWP_SHOWWINDOW | SWP_HIDEWINDOW));
    if ((uFlags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) != 0) {
        ShowWindow(hWnd, (uFlags & SWP_SHOWWINDOW) != 0
                             ? ((uFlags & SWP_NOACTIVATE) != 0 ? SW_SHOWNA : SW_SHOW)
                             : SW_HIDE);
    }
    return TRUE;
}

namespace {

bool ReadRect(HWND hwnd, LPRECT rect, bool client) {
    WindowPtr window = WindowOrFail(hwnd);
    if (!window) {
        return false;
    }
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    UiLock lock(UiMutex());
    *rect = client ? ClientRectLocal(*window) : WindowRectOnScreen(*window);
    return true;
}

// Moves a point between a window's client pixels and the screen's: direction 1 to the screen, -1 back.
bool MapPoint(HWND hwnd, LPPOINT point, int direction) {
    WindowPtr window = WindowOrFail(hwnd);
    if (!window || point == nullptr) {
        return false;
    }
    UiLock lock(UiMutex());
    const RECT client = ClientRectOnScreen(*window);
    point->x += direction * client.left;
    point->y += direction * client.top;
    return true;
}

}  // namespace

extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    return ReadRect(hWnd, lpRect, false) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    return ReadRect(hWnd, lpRect, true) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    return MapPoint(hWnd, lpPoint, 1) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    return MapPoint(hWnd, lpPoint, -1) ? TRUE : FALSE;
}

// This program's windows first; then, on a shared device, the other programs'.
extern "C" HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    if (HWND own = FindTopLevelWindow(lpClassName, lpWindowName)) {
        return own;
    }
    return FindForeignTopLevel(lpClassName, lpWindowName);
}
