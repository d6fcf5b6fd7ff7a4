// This program's top-level windows in the device's window directory, and other programs' requests for them.
#include "user/sharing/window_sharing.h"

#include <mutex>
#include <optional>
#include <vector>

#include "user/sharing/directory_backend.h"

namespace ce::ui {
namespace {

// Orders publishing against withdrawing: a window marked destroying is never published again, so the
// directory never keeps a window that is gone. Held across the host call; taken with no other lock.
std::mutex& PublishLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

// Window handles fit in 32 bits, as every handle of the process's table does.
uint32_t ValueOf(HWND window) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
}

// The session the windows were last published in (guarded by PublishLock()).
uint64_t publishedSession = 0;

struct Published {
    uint32_t window;
    std::u16string className;
    std::u16string title;
    bool visible;
    uint32_t thread;
};

// What the directory is to know of a top-level window; nothing for a window being destroyed.
std::optional<Published> Describe(const WindowObject& window) {
    if (window.IsChild() || window.destroying) {
        return std::nullopt;
    }
    return Published{ValueOf(window.handle), window.windowClass->name, window.text, window.Visible(),
                     static_cast<uint32_t>(window.threadId)};
}

bool Publish(const Published& what) {
    return Directory().publish(what.window, what.className, what.title, what.visible, what.thread);
}

// Publishes every top-level window of the program; false when a publish reached no host. Caller holds
// PublishLock().
bool PublishAll() {
    std::vector<Published> all;
    {
        UiLock lock(UiMutex());
        for (const WindowPtr& top : TopLevelWindows()) {
            if (std::optional<Published> what = Describe(*top)) {
                all.push_back(std::move(*what));
            }
        }
    }
    for (const Published& what : all) {
        if (!Publish(what)) {
            return false;
        }
    }
    publishedSession = Directory().session();
    return true;
}

// A new host (the device rebooted) knows none of this program's windows: they are all published again.
// Caller holds PublishLock().
void PublishAllIfNewHost() {
    const uint64_t session = Directory().session();
    const bool rebooted = publishedSession != 0 && session != publishedSession;
    publishedSession = session;
    if (rebooted) {
        PublishAll();
    }
}

// Only top-level windows of a program on a shared device are published. Controls change their text
// often: they are turned away here, before the publishing lock.
bool Shared(const WindowPtr& window) {
    if (!Directory().shared()) {
        return false;
    }
    UiLock lock(UiMutex());
    return !window->IsChild();
}

}  // namespace

void ShareWindow(const WindowPtr& window) {
    if (!Shared(window)) {
        return;
    }
    std::lock_guard<std::mutex> guard(PublishLock());
    std::optional<Published> what;
    {
        UiLock lock(UiMutex());
        what = Describe(*window);
    }
    if (what) {
        Publish(*what);
        PublishAllIfNewHost();
    }
}

void UnshareWindow(const WindowPtr& window) {
    if (!Shared(window)) {
        return;
    }
    std::lock_guard<std::mutex> guard(PublishLock());
    Directory().withdraw(ValueOf(window->handle));
}

bool RepublishWindows() {
    std::lock_guard<std::mutex> guard(PublishLock());
    return PublishAll();
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

namespace {

bool NotShared() {
    return false;
}

bool PublishNowhere(uint32_t, const std::u16string&, const std::u16string&, bool, uint32_t) {
    return true;
}

void WithdrawNothing(uint32_t) {}

uint64_t NoSession() {
    return 0;
}

ForeignId FindNone(LPCWSTR, LPCWSTR) {
    return ForeignId{};
}

ForeignState QueryNone(const ForeignId&) {
    return ForeignState{};
}

DWORD ShowNone(const ForeignId&, int, bool* wasVisible) {
    *wasVisible = false;
    return ERROR_INVALID_WINDOW_HANDLE;
}

DWORD ForegroundNone(const ForeignId&) {
    return ERROR_INVALID_WINDOW_HANDLE;
}

}  // namespace

const DirectoryBackend kInProcessDirectory = {
    .shared = NotShared,
    .publish = PublishNowhere,
    .withdraw = WithdrawNothing,
    .session = NoSession,
    .find = FindNone,
    .query = QueryNone,
    .show = ShowNone,
    .foreground = ForegroundNone,
};

}  // namespace ce::ui
