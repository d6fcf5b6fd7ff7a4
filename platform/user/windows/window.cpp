// Window objects: creation, destruction, the window tree and its geometry.
#include "user/windows/window.h"

#include "kernel/wide_string.h"
#include "user/dialogs/dialog.h"
#include "user/windows/geometry.h"
#include "user/sharing/window_sharing.h"

#include <algorithm>
#include <new>

namespace ce::ui {

WindowObject::WindowObject() : KernelObject(ObjectType::Window) {}
WindowObject::~WindowObject() = default;

std::recursive_mutex& UiMutex() {
    static auto* mutex = new std::recursive_mutex;
    return *mutex;
}

// A proxy of another program's window has the window type too, but is never a window of this program.
WindowPtr LookupWindow(HWND hwnd) {
    return std::dynamic_pointer_cast<WindowObject>(LookupHandle(hwnd, ObjectType::Window));
}

WindowPtr WindowOrFail(HWND hwnd) {
    WindowPtr window = LookupWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return window;
}

std::vector<WindowPtr>& TopLevelWindows() {
    static auto* windows = new std::vector<WindowPtr>;
    return *windows;
}

WindowPtr ParentOf(const WindowObject& window) {
    return window.parent.lock();
}

WindowPtr TopLevelOf(const WindowPtr& window) {
    WindowPtr current = window;
    while (current) {
        WindowPtr parent = ParentOf(*current);
        if (!parent) {
            break;
        }
        current = parent;
    }
    return current;
}

bool IsDescendant(const WindowPtr& ancestor, const WindowPtr& window) {
    for (WindowPtr current = window; current; current = ParentOf(*current)) {
        if (current == ancestor) {
            return true;
        }
    }
    return false;
}

RECT FrameInsetsForStyle(DWORD style, DWORD exStyle) {
    if ((style & WS_CAPTION) == WS_CAPTION) {
        return RECT{kBorderPx, kBorderPx + kCaptionHeightPx, kBorderPx, kBorderPx};
    }
    if ((style & (WS_BORDER | WS_DLGFRAME)) != 0 || (exStyle & WS_EX_CLIENTEDGE) != 0) {
        return RECT{kBorderPx, kBorderPx, kBorderPx, kBorderPx};
    }
    return RECT{0, 0, 0, 0};
}

RECT FrameInsets(const WindowObject& window) {
    return FrameInsetsForStyle(window.style, window.exStyle);
}

RECT WindowRectOnScreen(const WindowObject& window) {
    RECT rect = window.rect;
    if (WindowPtr parent = ParentOf(window)) {
        const RECT client = ClientRectOnScreen(*parent);
        OffsetRect(&rect, client.left, client.top);
    }
    return rect;
}

RECT ClientRectOnScreen(const WindowObject& window) {
    const RECT outer = WindowRectOnScreen(window);
    const RECT insets = FrameInsets(window);
    RECT client{outer.left + insets.left, outer.top + insets.top, outer.right - insets.right,
                outer.bottom - insets.bottom};
    client.right = std::max(client.right, client.left);
    client.bottom = std::max(client.bottom, client.top);
    return client;
}

RECT ClientRectLocal(const WindowObject& window) {
    const RECT client = ClientRectOnScreen(window);
    return RECT{0, 0, Width(client), Height(client)};
}

bool VisibleOnScreen(const WindowObject& window) {
    if (!window.Visible()) {
        return false;
    }
    WindowPtr parent = ParentOf(window);
    return !parent || VisibleOnScreen(*parent);
}

bool EnabledWithParents(const WindowObject& window) {
    if (!window.Enabled()) {
        return false;
    }
    WindowPtr parent = ParentOf(window);
    return !parent || EnabledWithParents(*parent);
}

ClientPlacement PlacementOf(const WindowPtr& window) {
    UiLock lock(UiMutex());
    const RECT client = ClientRectLocal(*window);
    const RECT insets = FrameInsets(*window);
    return ClientPlacement{MAKELPARAM(Width(client), Height(client)),
                           MAKELPARAM(window->rect.left + insets.left, window->rect.top + insets.top)};
}

std::u16string WithoutMnemonics(const std::u16string& text) {
    std::u16string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
        }
        plain.push_back(text[i]);
    }
    return plain;
}

char16_t MnemonicOf(const std::u16string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u'&') {
            if (text[i + 1] != u'&') {
                return FoldChar(text[i + 1]);
            }
            ++i;
        }
    }
    return 0;
}

namespace {

constexpr UINT kDefaultTopLevelStyleMask = WS_VISIBLE;

void Unlink(const WindowPtr& window) {
    if (WindowPtr parent = ParentOf(*window)) {
        std::erase(parent->children, window);
    } else {
        std::erase(TopLevelWindows(), window);
    }
}

// WM_DESTROY goes to a window before its children, as Win32 sends it.
void SendDestroy(const WindowPtr& window) {
    SendTo(window, WM_DESTROY, 0, 0);
    std::vector<WindowPtr> children;
    {
        UiLock lock(UiMutex());
        children = window->children;
    }
    for (const WindowPtr& child : children) {
        SendDestroy(child);
    }
}

// WM_NCDESTROY goes to the children first; the handle goes away after the window's own WM_NCDESTROY.
void FreeWindow(const WindowPtr& window) {
    std::vector<WindowPtr> children;
    {
        UiLock lock(UiMutex());
        children = window->children;
    }
    for (const WindowPtr& child : children) {
        FreeWindow(child);
    }
    SendTo(window, WM_NCDESTROY, 0, 0);
    UiLock lock(UiMutex());
    Unlink(window);
    window->children.clear();
    RemoveHandle(window->handle, ObjectType::Window);
}

std::vector<WindowPtr> OwnedWindows(HWND owner) {
    UiLock lock(UiMutex());
    std::vector<WindowPtr> owned;
    for (const WindowPtr& top : TopLevelWindows()) {
        if (top->owner == owner && !top->destroying) {
            owned.push_back(top);
        }
    }
    return owned;
}

}  // namespace
}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName,
                                       DWORD dwStyle, int X, int Y, int nWidth, int nHeight, HWND hWndParent,
                                       HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
    if (lpClassName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<const WindowClass> windowClass = FindWindowClass(lpClassName);
    if (!windowClass) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    WindowPtr parent;
    HWND owner = nullptr;
    if (hWndParent != nullptr) {
        parent = WindowOrFail(hWndParent);
        if (!parent) {
            return nullptr;
        }
    } else if ((dwStyle & WS_CHILD) != 0) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    if ((dwStyle & WS_CHILD) == 0 && parent) {
        // A top-level window's "parent" is its owner, always a top-level window itself.
        UiLock lock(UiMutex());
        owner = TopLevelOf(parent)->handle;
        parent.reset();
    }

    WindowPtr window;
    try {
        window = std::make_shared<WindowObject>();
        window->windowClass = windowClass;
        window->extraBytes.assign(static_cast<size_t>(windowClass->windowExtraBytes), 0);
        window->text = lpWindowName != nullptr ? std::u16string(lpWindowName) : std::u16string();
        if (windowClass->kind == ClassKind::Dialog) {
            window->dialog = std::make_unique<DialogState>();
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (X == CW_USEDEFAULT) {
        X = 0;
        Y = 0;
    }
    if (nWidth == CW_USEDEFAULT) {
        nWidth = parent ? 0 : kScreenWidthPx;
        nHeight = parent ? 0 : kScreenHeightPx;
    }
    window->threadId = GetCurrentThreadId();
    window->instance = hInstance;
    window->proc = windowClass->proc;
    window->style = dwStyle & ~kDefaultTopLevelStyleMask;
    if ((dwStyle & WS_CHILD) == 0 && (dwStyle & WS_POPUP) == 0) {
        window->style |= WS_CLIPSIBLINGS | WS_CAPTION;  // an overlapped window always has a caption
    }
    window->exStyle = dwExStyle;
    window->id = reinterpret_cast<LONG_PTR>(hMenu);
    window->rect = RECT{X, Y, X + std::max(nWidth, 0), Y + std::max(nHeight, 0)};
    window->owner = owner;
    window->handle = static_cast<HWND>(ce::InsertHandle(window));
    if (window->handle == nullptr) {
        return nullptr;
    }
    {
        UiLock lock(UiMutex());
        if (parent) {
            if (parent->destroying) {
                ce::RemoveHandle(window->handle, ce::ObjectType::Window);
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
            window->parent = parent;
            parent->children.push_back(window);  // a new child goes to the bottom of its siblings
        } else {
            TopLevelWindows().insert(TopLevelWindows().begin(), window);
        }
    }
    if (!parent) {
        ShareWindow(window);
    }

    HWND hwnd = window->handle;
    CREATESTRUCTW create{lpParam,
                         hInstance,
                         hMenu,
                         hWndParent,
                         nHeight,
                         nWidth,
                         Y,
                         X,
                         LONG(dwStyle),
                         lpWindowName,
                         IS_INTRESOURCE(lpClassName) ? nullptr : lpClassName,
                         dwExStyle};
    if (!SendTo(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
        DestroyWindow(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    RECT clientCalc = window->rect;
    SendTo(window, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&clientCalc));
    if (SendTo(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsWindow(hwnd)) {
        return nullptr;
    }
    const ClientPlacement placement = PlacementOf(window);
    SendTo(window, WM_SIZE, SIZE_RESTORED, placement.size);
    SendTo(window, WM_MOVE, 0, placement.origin);
    if (parent && (dwExStyle & WS_EX_NOPARENTNOTIFY) == 0) {
        SendTo(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, LOWORD(window->id)),
               reinterpret_cast<LPARAM>(hwnd));
    }
    if ((dwStyle & WS_VISIBLE) != 0 && IsWindow(hwnd)) {
        ShowWindow(hwnd, SW_SHOW);
    }
    return IsWindow(hwnd) ? hwnd : nullptr;
}

extern "C" BOOL WINAPI DestroyWindow(HWND hWnd) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    if (window->threadId != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    WindowPtr parent;
    {
        UiLock lock(UiMutex());
        if (window->destroying) {
            return TRUE;
        }
        window->destroying = true;
        parent = ParentOf(*window);
    }
    UnshareWindow(window);
    if (parent && (window->exStyle & WS_EX_NOPARENTNOTIFY) == 0) {
        SendTo(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, LOWORD(window->id)),
               reinterpret_cast<LPARAM>(hWnd));
    }
    if (IsWindowVisible(hWnd) || window->Visible()) {
        SetWindowPosition(window, 0, 0, 0, 0,
                          SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (const WindowPtr& owned : OwnedWindows(hWnd)) {
        if (owned->threadId == GetCurrentThreadId()) {
            DestroyWindow(owned->handle);
        } else {
            UiLock lock(UiMutex());
            owned->owner = nullptr;
        }
    }
    {
        // The focus and capture leave the dying windows before they hear of their end.
        WindowPtr focus = LookupWindow(FocusWindowAnyThread());
        WindowPtr capture = LookupWindow(CaptureWindow());
        bool focusInside, activeHere, captureInside;
        {
            UiLock lock(UiMutex());
            focusInside = focus && IsDescendant(window, focus);
            activeHere = ActiveWindowAnyThread() == hWnd;
            captureInside = capture && IsDescendant(window, capture);
        }
        if (captureInside) {
            ReleaseCapture();
        }
        if (focusInside) {
            ChangeFocus(parent);
        }
        if (activeHere) {
            ActivateAnotherWindow(window);
        }
    }
    SendDestroy(window);
    FreeWindow(window);
    TellFrontEndChanged();
    return TRUE;
}

extern "C" BOOL WINAPI IsWindow(HWND hWnd) {
    if (const auto foreign = ForeignIsWindow(hWnd)) {
        return *foreign;
    }
    return LookupWindow(hWnd) ? TRUE : FALSE;
}
