// Invalidation and painting: a window that changed is marked and gets WM_PAINT when its thread has nothing
// else to do (or at once through UpdateWindow); BeginPaint starts a full repaint of its surface.
#include "user/front_end/front_end.h"
#include "user/gdi/gdi.h"
#include "user/windows/window.h"

namespace ce::ui {

void TellFrontEndChanged() {
    CurrentFrontEnd().Changed();
}

void Invalidate(const WindowPtr& window) {
    if (!window) {
        return;
    }
    {
        UiLock lock(UiMutex());
        window->needsPaint = true;
    }
    TellFrontEndChanged();
    CurrentFrontEnd().Wake();
}

void InvalidateTree(const WindowPtr& window) {
    std::vector<WindowPtr> pending{window};
    UiLock lock(UiMutex());
    while (!pending.empty()) {
        WindowPtr current = pending.back();
        pending.pop_back();
        current->needsPaint = true;
        pending.insert(pending.end(), current->children.begin(), current->children.end());
    }
    TellFrontEndChanged();
    CurrentFrontEnd().Wake();
}

void UpdateNow(const WindowPtr& window) {
    bool paint;
    std::vector<WindowPtr> children;
    {
        UiLock lock(UiMutex());
        paint = window->needsPaint && VisibleOnScreen(*window);
        if (paint) {
            window->needsPaint = false;
        }
        children = window->children;
    }
    if (paint) {
        SendTo(window, WM_PAINT, 0, 0);
    }
    for (const WindowPtr& child : children) {
        UpdateNow(child);
    }
}

}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
    if (hWnd == nullptr) {
        std::vector<WindowPtr> tops;
        {
            UiLock lock(UiMutex());
            tops = TopLevelWindows();
        }
        for (const WindowPtr& top : tops) {
            InvalidateTree(top);
        }
        return TRUE;
    }
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    Invalidate(window);
    return TRUE;
}

extern "C" BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    UiLock lock(UiMutex());
    window->needsPaint = false;
    return TRUE;
}

extern "C" BOOL WINAPI UpdateWindow(HWND hWnd) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    UpdateNow(window);
    return TRUE;
}

extern "C" HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return nullptr;
    }
    if (lpPaint == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HDC dc = GetDC(hWnd);
    if (dc == nullptr) {
        return nullptr;
    }
    {
        UiLock lock(UiMutex());
        window->needsPaint = false;
        *lpPaint = PAINTSTRUCT{};
        lpPaint->hdc = dc;
        lpPaint->rcPaint = ClientRectLocal(*window);
    }
    ClearSurface(window);
    lpPaint->fErase = SendTo(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    return dc;
}

extern "C" BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    if (lpPaint == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ReleaseDC(hWnd, lpPaint->hdc);
    return TRUE;
}
