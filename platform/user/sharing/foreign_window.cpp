// Proxies: this program's handles for other programs' top-level windows. One proxy per foreign window, so
// the same window keeps its value while it lives; a proxy found gone is closed, and its value then answers
// as any destroyed window's.
#include <algorithm>
#include <map>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "user/sharing/directory_backend.h"
#include "user/sharing/window_sharing.h"

namespace ce::ui {
namespace {

// More foreign windows than a program could mean to hold; past it the gone ones are cleared out.
constexpr size_t kMaxProxies = 1024;

class ForeignWindow final : public KernelObject {
  public:
    explicit ForeignWindow(const ForeignId& id) : KernelObject(ObjectType::Window), id(id) {}

    const ForeignId id;
};

using ProxyKey = std::pair<uint64_t, uint64_t>;  // session, id

struct Proxies {
    std::mutex lock;  // taken alone, never across a host call
    std::map<ProxyKey, HWND> handles;
};

Proxies& TheProxies() {
    static auto* proxies = new Proxies;
    return *proxies;
}

ProxyKey KeyOf(const ForeignId& id) {
    return {id.session, id.id};
}

std::shared_ptr<ForeignWindow> LookupProxy(HWND hwnd) {
    return std::dynamic_pointer_cast<ForeignWindow>(LookupHandle(hwnd, ObjectType::Window));
}

// The window behind the proxy is gone: so is the proxy.
void Forget(HWND hwnd, const ForeignWindow& proxy) {
    Proxies& proxies = TheProxies();
    std::lock_guard<std::mutex> guard(proxies.lock);
    auto known = proxies.handles.find(KeyOf(proxy.id));
    if (known != proxies.handles.end() && known->second == hwnd) {
        proxies.handles.erase(known);
    }
    RemoveHandle(hwnd, ObjectType::Window);
}

// Closes the proxies of windows that are gone; answers whether room was made.
bool ClearOutGone() {
    std::vector<std::pair<HWND, std::shared_ptr<ForeignWindow>>> held;
    {
        Proxies& proxies = TheProxies();
        std::lock_guard<std::mutex> guard(proxies.lock);
        for (const auto& [key, hwnd] : proxies.handles) {
            held.emplace_back(hwnd, LookupProxy(hwnd));
        }
    }
    bool cleared = false;
    for (const auto& [hwnd, proxy] : held) {
        if (proxy && !Directory().query(proxy->id).alive) {
            Forget(hwnd, *proxy);
            cleared = true;
        }
    }
    return cleared;
}

HWND ProxyFor(const ForeignId& id) {
    Proxies& proxies = TheProxies();
    bool full;
    {
        std::lock_guard<std::mutex> guard(proxies.lock);
        auto known = proxies.handles.find(KeyOf(id));
        if (known != proxies.handles.end()) {
            return known->second;
        }
        full = proxies.handles.size() >= kMaxProxies;
    }
    if (full && !ClearOutGone()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(proxies.lock);
    // Another thread may have made it meanwhile.
    auto known = proxies.handles.find(KeyOf(id));
    if (known != proxies.handles.end()) {
        return known->second;
    }
    try {
        HWND hwnd = static_cast<HWND>(InsertHandle(std::make_shared<ForeignWindow>(id)));
        if (hwnd != nullptr) {
            proxies.handles[KeyOf(id)] = hwnd;
        }
        return hwnd;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

// A name a lookup can ask the directory for; false when no published window can have it.
bool Publishable(LPCWSTR name, std::u16string* text) {
    if (name == nullptr) {
        return true;
    }
    if (IS_INTRESOURCE(name)) {
        // Atoms are this program's own: one it knows stands for its class's name.
        std::shared_ptr<const WindowClass> windowClass = FindWindowClass(name);
        if (!windowClass) {
            return false;
        }
        *text = windowClass->name;
    } else {
        *text = name;
    }
    return true;
}

// The proxy's window as the directory knows it; a gone one closes the proxy.
ForeignState StateOf(HWND hwnd, const ForeignWindow& proxy) {
    ForeignState state = Directory().query(proxy.id);
    if (!state.alive) {
        Forget(hwnd, proxy);
    }
    return state;
}

// The state of the window behind a proxy; nothing when hwnd is no proxy.
std::optional<ForeignState> ProxyState(HWND hwnd) {
    const auto proxy = LookupProxy(hwnd);
    if (!proxy) {
        return std::nullopt;
    }
    return StateOf(hwnd, *proxy);
}

// The answer of a call on a window that is gone.
template <class Answer>
std::optional<Answer> Gone() {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return Answer{0};
}

// The answer of a call the directory refused.
BOOL Refused(HWND hwnd, const ForeignWindow& proxy, DWORD error) {
    if (error == ERROR_INVALID_WINDOW_HANDLE) {
        Forget(hwnd, proxy);
    }
    SetLastError(error);
    return FALSE;
}

}  // namespace

HWND FindForeignTopLevel(LPCWSTR className, LPCWSTR title) {
    std::u16string classText;
    std::u16string titleText;
    if (!Directory().shared() || !Publishable(className, &classText) || !Publishable(title, &titleText)) {
        return nullptr;
    }
    const ForeignId found = Directory().find(className != nullptr ? classText.c_str() : nullptr,
                                             title != nullptr ? titleText.c_str() : nullptr);
    return found.id != 0 ? ProxyFor(found) : nullptr;
}

std::optional<BOOL> ForeignIsWindow(HWND hwnd) {
    const auto proxy = LookupProxy(hwnd);
    if (!proxy) {
        return std::nullopt;
    }
    return StateOf(hwnd, *proxy).alive ? TRUE : FALSE;
}

std::optional<BOOL> ForeignIsWindowVisible(HWND hwnd) {
    const std::optional<ForeignState> state = ProxyState(hwnd);
    if (!state) {
        return std::nullopt;
    }
    return state->alive && state->visible ? TRUE : FALSE;
}

std::optional<int> ForeignGetWindowText(HWND hwnd, LPWSTR text, int maxCount) {
    const std::optional<ForeignState> state = ProxyState(hwnd);
    if (!state) {
        return std::nullopt;
    }
    if (!state->alive) {
        return Gone<int>();
    }
    if (text == nullptr || maxCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t count = std::min(state->title.size(), static_cast<size_t>(maxCount) - 1);
    state->title.copy(text, count);
    text[count] = 0;
    return static_cast<int>(count);
}

std::optional<DWORD> ForeignGetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
    const std::optional<ForeignState> state = ProxyState(hwnd);
    if (!state) {
        return std::nullopt;
    }
    if (!state->alive) {
        return Gone<DWORD>();
    }
    if (processId != nullptr) {
        *processId = state->process;
    }
    return state->thread;
}

std::optional<BOOL> ForeignShowWindow(HWND hwnd, int command) {
    const auto proxy = LookupProxy(hwnd);
    if (!proxy) {
        return std::nullopt;
    }
    if (command < SW_HIDE || command > SW_SHOWDEFAULT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool wasVisible = false;
    const DWORD error = Directory().show(proxy->id, command, &wasVisible);
    if (error != ERROR_SUCCESS) {
        return Refused(hwnd, *proxy, error);
    }
    return wasVisible ? TRUE : FALSE;
}

std::optional<BOOL> ForeignSetForegroundWindow(HWND hwnd) {
    const auto proxy = LookupProxy(hwnd);
    if (!proxy) {
        return std::nullopt;
    }
    const DWORD error = Directory().foreground(proxy->id);
    return error == ERROR_SUCCESS ? TRUE : Refused(hwnd, *proxy, error);
}

}  // namespace ce::ui
