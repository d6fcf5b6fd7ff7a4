// This program's top-level windows in the device's window directory, and other programs' requests for them.
#include "user/window_sharing.h"

#include <mutex>

#include "host/device_dir.h"
#include "host/remote_handles.h"
#include "host/remote_windows.h"

namespace ce::ui {
namespace {

// Orders publishing against withdrawing: a window marked destroying is never published again, so the
// directory never keeps a window that is gone. Held across the host call; taken with no other lock.
std::mutex& PublishLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

uint32_t ValueOf(HWND window) {
    return host::HostValue(window);
}

}  // namespace

void ShareWindow(const WindowPtr& window) {
    if (!host::Remote()) {
        return;
    }
    std::lock_guard<std::mutex> guard(PublishLock());
    std::u16string className;
    std::u16string title;
    bool visible;
    {
        UiLock lock(UiMutex());
        if (window->IsChild() || window->destroying) {
            return;
        }
        className = window->windowClass->name;
        title = window->text;
        visible = window->Visible();
    }
    host::PublishWindow(ValueOf(window->handle), className, title, visible);
}

void UnshareWindow(const WindowPtr& window) {
    if (!host::Remote()) {
        return;
    }
    {
        UiLock lock(UiMutex());
        if (window->IsChild()) {
            return;
        }
    }
    std::lock_guard<std::mutex> guard(PublishLock());
    host::WithdrawWindow(ValueOf(window->handle));
}

void ApplyWindowRequest(uint32_t value, bool foreground, int command) {
    HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
    WindowPtr window = LookupWindow(hwnd);
    if (!window) {
        return;  // destroyed while the request was on its way
    }
    {
        UiLock lock(UiMutex());
        if (window->IsChild() || window->destroying) {
            return;
        }
    }
    if (foreground) {
        SetForegroundWindow(hwnd);
    } else {
        ShowWindow(hwnd, command);
    }
}

}  // namespace ce::ui
