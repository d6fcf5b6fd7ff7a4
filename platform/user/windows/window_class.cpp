// The class table: the built-in classes every program finds and the classes a program registers.
#include "kernel/wide_string.h"
#include "user/windows/window.h"

#include <new>

namespace ce::ui {
namespace {

constexpr ATOM kFirstAtom = 0xC000;  // class atoms live where Win32 puts string atoms

struct ClassTable {
    std::vector<std::shared_ptr<const WindowClass>> classes;  // guarded by UiMutex()
    ATOM nextAtom = kFirstAtom;
    bool treeViewRegistered = false;
};

std::shared_ptr<WindowClass> BuiltIn(const char16_t* name, ClassKind kind, WNDPROC proc, int extra) {
    auto windowClass = std::make_shared<WindowClass>();
    windowClass->name = name;
    windowClass->kind = kind;
    windowClass->proc = proc;
    windowClass->windowExtraBytes = extra;
    windowClass->builtIn = true;
    windowClass->style = CS_GLOBALCLASS;
    return windowClass;
}

// Leaked on purpose, like every singleton of the platform.
ClassTable& Table() {
    static ClassTable* table = [] {
        auto* created = new ClassTable;
        auto add = [created](std::shared_ptr<WindowClass> windowClass) {
            windowClass->atom = created->nextAtom++;
            created->classes.push_back(std::move(windowClass));
        };
        add(BuiltIn(u"Dialog", ClassKind::Dialog, DefDlgProcW, DLGWINDOWEXTRA));
        add(BuiltIn(u"Button", ClassKind::Button, ButtonProc, 0));
        add(BuiltIn(u"Static", ClassKind::Static, StaticProc, 0));
        add(BuiltIn(u"ComboBox", ClassKind::ComboBox, ComboBoxProc, 0));
        return created;
    }();
    return *table;
}

}  // namespace

std::shared_ptr<const WindowClass> FindWindowClass(LPCWSTR name) {
    UiLock lock(UiMutex());
    for (const auto& windowClass : Table().classes) {
        if (IS_INTRESOURCE(name) ? windowClass->atom == LOWORD(reinterpret_cast<ULONG_PTR>(name))
                                 : EqualsIgnoreCase(windowClass->name, name)) {
            return windowClass;
        }
    }
    return nullptr;
}

void RegisterTreeViewClass() {
    UiLock lock(UiMutex());
    ClassTable& table = Table();
    if (table.treeViewRegistered) {
        return;
    }
    auto windowClass = BuiltIn(WC_TREEVIEWW, ClassKind::TreeView, TreeViewProc, 0);
    windowClass->atom = table.nextAtom++;
    table.classes.push_back(std::move(windowClass));
    table.treeViewRegistered = true;
}

bool TreeViewClassRegistered() {
    UiLock lock(UiMutex());
    return Table().treeViewRegistered;
}

}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
    if (wc == nullptr || wc->lpszClassName == nullptr || wc->lpfnWndProc == nullptr || wc->cbWndExtra < 0 ||
        wc->cbClsExtra < 0 || (!IS_INTRESOURCE(wc->lpszClassName) && wc->lpszClassName[0] == 0) ||
        IS_INTRESOURCE(wc->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UiLock lock(UiMutex());
    if (FindWindowClass(wc->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    try {
        auto windowClass = std::make_shared<WindowClass>();
        windowClass->name = wc->lpszClassName;
        windowClass->proc = wc->lpfnWndProc;
        windowClass->style = wc->style;
        windowClass->windowExtraBytes = wc->cbWndExtra;
        windowClass->background = wc->hbrBackground;
        windowClass->instance = wc->hInstance;
        windowClass->atom = Table().nextAtom++;
        Table().classes.push_back(windowClass);
        return windowClass->atom;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

extern "C" BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance) {
    if (lpClassName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    UiLock lock(UiMutex());
    std::shared_ptr<const WindowClass> windowClass = FindWindowClass(lpClassName);
    if (!windowClass || windowClass->builtIn) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    // A class with windows stays, as Win32 refuses it.
    for (const WindowPtr& top : TopLevelWindows()) {
        std::vector<WindowPtr> pending{top};
        while (!pending.empty()) {
            WindowPtr window = pending.back();
            pending.pop_back();
            if (window->windowClass == windowClass) {
                SetLastError(ERROR_CLASS_HAS_WINDOWS);
                return FALSE;
            }
            pending.insert(pending.end(), window->children.begin(), window->children.end());
        }
    }
    auto& classes = Table().classes;
    std::erase(classes, windowClass);
    return TRUE;
}

extern "C" int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return 0;
    }
    if (lpClassName == nullptr || nMaxCount <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::u16string& name = window->windowClass->name;
    const size_t count = std::min(name.size(), static_cast<size_t>(nMaxCount - 1));
    name.copy(lpClassName, count);
    lpClassName[count] = 0;
    return static_cast<int>(count);
}
