// The screen snapshot the painter works from.
#include "user/windows/window_views.h"

namespace ce::ui {
namespace {

WindowView Describe(const WindowPtr& window, HWND focus, HWND active) {
    WindowView view;
    view.hwnd = window->handle;
    view.kind = window->kind();
    view.className = window->windowClass->name;
    view.text = window->text;
    view.style = window->style;
    view.exStyle = window->exStyle;
    view.windowRect = WindowRectOnScreen(*window);
    view.clientRect = ClientRectOnScreen(*window);
    view.enabled = EnabledWithParents(*window);
    view.focused = window->handle == focus;
    view.active = window->handle == active;
    view.hasCaption = (window->style & WS_CAPTION) == WS_CAPTION;
    if (window->kind() == ClassKind::Button) {
        view.pushed = ButtonPushed(*window);
        view.defaultButton = (window->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    }
    view.surface = window->surface;
    for (const WindowPtr& child : window->children) {
        if (child->Visible() && !child->destroying) {
            view.children.push_back(Describe(child, focus, active));
        }
    }
    return view;
}

}  // namespace

std::vector<WindowView> SnapshotScreen() {
    const HWND focus = FocusWindowAnyThread();
    const HWND active = ActiveWindowAnyThread();
    UiLock lock(UiMutex());
    std::vector<WindowView> screen;
    for (const WindowPtr& top : TopLevelWindows()) {
        if (top->Visible() && !top->destroying) {
            screen.push_back(Describe(top, focus, active));
        }
    }
    return screen;
}

}  // namespace ce::ui
