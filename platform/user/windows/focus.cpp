// Activation, foreground, keyboard focus and mouse capture. One active window and one focus for the whole
// process (the device has one screen and one keyboard); GetFocus and GetActiveWindow answer them only to
// the thread that owns them, as Win32 does.
#include "user/front_end/front_end.h"
#include "user/windows/window.h"
#include "user/sharing/window_sharing.h"

#include <ceplatform_ui.h>

#include <algorithm>

namespace ce::ui {
namespace {

// Guarded by UiMutex().
HWND activeWindow = nullptr;
HWND focusWindow = nullptr;
HWND captureWindow = nullptr;

// Brings a top-level window to the top, with the windows it owns above it.
void RaiseLocked(const WindowPtr& window) {
    auto& tops = TopLevelWindows();
    std::vector<WindowPtr> owned;
    for (const WindowPtr& top : tops) {
        if (top->owner == window->handle) {
            owned.push_back(top);
        }
    }
    std::erase(tops, window);
    tops.insert(tops.begin(), window);
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) {
        std::erase(tops, *it);
        tops.insert(tops.begin(), *it);
    }
}

bool CanActivate(const WindowObject& window) {
    return window.Visible() && window.Enabled() && !window.destroying && !window.IsChild();
}

HWND OwnedByThread(HWND hwnd) {
    WindowPtr window = LookupWindow(hwnd);
    return window && window->threadId == GetCurrentThreadId() ? hwnd : nullptr;
}

}  // namespace

HWND ActiveWindowAnyThread() {
    UiLock lock(UiMutex());
    return activeWindow;
}

HWND FocusWindowAnyThread() {
    UiLock lock(UiMutex());
    return focusWindow;
}

HWND CaptureWindow() {
    UiLock lock(UiMutex());
    return captureWindow;
}

void Activate(const WindowPtr& window) {
    HWND previous;
    {
        UiLock lock(UiMutex());
        previous = activeWindow;
        HWND next = window ? window->handle : nullptr;
        if (window) {
            RaiseLocked(window);
        }
        if (previous == next) {
            return;
        }
        activeWindow = next;
    }
    TellFrontEndChanged();
    HWND next = window ? window->handle : nullptr;
    if (WindowPtr old = LookupWindow(previous)) {
        SendTo(old, WM_NCACTIVATE, FALSE, 0);
        SendTo(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(next));
    }
    if (window) {
        SendTo(window, WM_NCACTIVATE, TRUE, 0);
        SendTo(window, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
    } else {
        ChangeFocus(nullptr);
    }
}

void ActivateAnotherWindow(const WindowPtr& leaving) {
    WindowPtr next;
    {
        UiLock lock(UiMutex());
        if (WindowPtr owner = LookupWindow(leaving->owner); owner && CanActivate(*owner)) {
            next = owner;
        } else {
            for (const WindowPtr& top : TopLevelWindows()) {
                if (top != leaving && CanActivate(*top)) {
                    next = top;
                    break;
                }
            }
        }
    }
    Activate(next);
}

HWND ChangeFocus(const WindowPtr& window) {
    HWND next = window ? window->handle : nullptr;
    HWND previous;
    {
        UiLock lock(UiMutex());
        previous = focusWindow;
        if (previous == next) {
            return previous;
        }
        focusWindow = next;
    }
    TellFrontEndChanged();
    if (WindowPtr old = LookupWindow(previous)) {
        SendTo(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(next), 0);
    }
    if (window && FocusWindowAnyThread() == next) {
        SendTo(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    }
    return previous;
}

}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" HWND WINAPI SetFocus(HWND hWnd) {
    if (hWnd == nullptr) {
        return ChangeFocus(nullptr);
    }
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return nullptr;
    }
    WindowPtr top;
    {
        UiLock lock(UiMutex());
        if (!EnabledWithParents(*window) || window->destroying) {
            return nullptr;
        }
        top = TopLevelOf(window);
    }
    if (ActiveWindowAnyThread() != top->handle) {
        Activate(top);
    }
    return ChangeFocus(window);
}

extern "C" HWND WINAPI GetFocus(void) {
    return OwnedByThread(FocusWindowAnyThread());
}

extern "C" HWND WINAPI SetActiveWindow(HWND hWnd) {
    HWND previous = ActiveWindowAnyThread();
    if (hWnd == nullptr) {
        Activate(nullptr);
        return previous;
    }
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return nullptr;
    }
    {
        UiLock lock(UiMutex());
        window = TopLevelOf(window);
        if (!CanActivate(*window)) {
            return nullptr;
        }
    }
    Activate(window);
    return previous;
}

extern "C" HWND WINAPI GetActiveWindow(void) {
    return OwnedByThread(ActiveWindowAnyThread());
}

extern "C" BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    if (const auto foreign = ForeignSetForegroundWindow(hWnd)) {
        return *foreign;
    }
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    {
        UiLock lock(UiMutex());
        window = TopLevelOf(window);
        // A window disabled by its modal dialog hands the foreground to that dialog.
        if (!window->Enabled()) {
            for (const WindowPtr& top : TopLevelWindows()) {
                if (top->owner == window->handle && CanActivate(*top)) {
                    window = top;
                    break;
                }
            }
        }
        if (!window->Visible() || !window->Enabled()) {
            // Win32 answers TRUE for a hidden window too and activates nothing visible.
            return TRUE;
        }
    }
    Activate(window);
    {
        UiLock lock(UiMutex());
        ++window->attentionRequests;
    }
    CurrentFrontEnd().Attention(window->handle);
    return TRUE;
}

extern "C" HWND WINAPI GetForegroundWindow(void) {
    return ActiveWindowAnyThread();
}

extern "C" HWND WINAPI SetCapture(HWND hWnd) {
    if (hWnd != nullptr && !WindowOrFail(hWnd)) {
        return nullptr;
    }
    HWND previous;
    {
        UiLock lock(UiMutex());
        previous = captureWindow;
        captureWindow = hWnd;
    }
    if (previous != hWnd) {
        if (WindowPtr old = LookupWindow(previous)) {
            SendTo(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
        }
    }
    return previous;
}

extern "C" BOOL WINAPI ReleaseCapture(void) {
    SetCapture(nullptr);
    return TRUE;
}

extern "C" HWND WINAPI GetCapture(void) {
    return OwnedByThread(CaptureWindow());
}

extern "C" HWND CeUiGetFocusWindow(void) {
    return FocusWindowAnyThread();
}

extern "C" HWND CeUiGetActiveWindow(void) {
    return ActiveWindowAnyThread();
}

extern "C" DWORD CeUiAttentionCount(HWND hwnd) {
    WindowPtr window = WindowOrFail(hwnd);
    if (!window) {
        return static_cast<DWORD>(-1);
    }
    UiLock lock(UiMutex());
    return window->attentionRequests;
}
