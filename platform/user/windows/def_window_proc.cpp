// The default handling of messages every window procedure falls back on.
#include "kernel/wide_string.h"
#include "user/windows/geometry.h"
#include "user/windows/window.h"
#include "user/sharing/window_sharing.h"

#include <algorithm>

using namespace ce;
using namespace ce::ui;

namespace {

LRESULT CopyText(const WindowPtr& window, WPARAM capacity, LPARAM buffer) {
    if (capacity == 0 || buffer == 0) {
        return 0;
    }
    UiLock lock(UiMutex());
    auto* out = reinterpret_cast<WCHAR*>(buffer);
    const size_t count = std::min(window->text.size(), static_cast<size_t>(capacity) - 1);
    window->text.copy(out, count);
    out[count] = 0;
    return static_cast<LRESULT>(count);
}

LRESULT HitTest(const WindowPtr& window, LPARAM lParam) {
    HitResult hit = HitTestScreen(static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam)));
    return hit.window == window ? hit.area : HTNOWHERE;
}

LRESULT EraseBackground(const WindowPtr& window, HDC dc) {
    HBRUSH brush = window->windowClass->background;
    if (brush == nullptr) {
        return 0;
    }
    RECT client;
    {
        UiLock lock(UiMutex());
        client = ClientRectLocal(*window);
    }
    FillRect(dc, &client, brush);
    return 1;
}

}  // namespace

extern "C" LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WindowPtr window = LookupWindow(hWnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (Msg) {
        case WM_NCCREATE:
            return TRUE;
        case WM_SETTEXT: {
            const auto* text = reinterpret_cast<LPCWSTR>(lParam);
            {
                UiLock lock(UiMutex());
                window->text = text != nullptr ? std::u16string(text) : std::u16string();
            }
            ShareWindow(window);
            Invalidate(window);
            return TRUE;
        }
        case WM_GETTEXT:
            return CopyText(window, wParam, lParam);
        case WM_GETTEXTLENGTH: {
            UiLock lock(UiMutex());
            return static_cast<LRESULT>(window->text.size());
        }
        case WM_SETFONT: {
            UiLock lock(UiMutex());
            window->font = reinterpret_cast<HFONT>(wParam);
            return 0;
        }
        case WM_GETFONT: {
            UiLock lock(UiMutex());
            return reinterpret_cast<LRESULT>(window->font);
        }
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                SendTo(window, WM_CLOSE, 0, 0);
            }
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4) {
                SendTo(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            if (BeginPaint(hWnd, &paint) != nullptr) {
                EndPaint(hWnd, &paint);
            }
            return 0;
        }
        case WM_ERASEBKGND:
            return EraseBackground(window, reinterpret_cast<HDC>(wParam));
        case WM_WINDOWPOSCHANGED:
            if (lParam != 0) {
                SendMoveAndSize(window, *reinterpret_cast<const WINDOWPOS*>(lParam));
            }
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) {
                WindowPtr focus = LookupWindow(FocusWindowAnyThread());
                bool focusInside;
                {
                    UiLock lock(UiMutex());
                    focusInside = focus && IsDescendant(window, focus);
                }
                if (!focusInside) {
                    SetFocus(hWnd);
                }
            }
            return 0;
        case WM_NCACTIVATE:
            return TRUE;
        case WM_MOUSEACTIVATE:
            return 1;  // MA_ACTIVATE
        case WM_NCHITTEST:
            return HitTest(window, lParam);
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORMSGBOX:
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_STATIC));
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        default:
            return 0;
    }
}

extern "C" LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                          LPARAM lParam) {
    if (lpPrevWndFunc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}
