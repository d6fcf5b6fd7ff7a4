// Notifications from controls to their parents.
#include "user/windows/window.h"

namespace ce::ui {

LRESULT NotifyParent(HWND control, UINT msg, WPARAM wParam, LPARAM lParam) {
    WindowPtr window = LookupWindow(control);
    if (!window) {
        return 0;
    }
    WindowPtr parent;
    {
        UiLock lock(UiMutex());
        parent = ParentOf(*window);
    }
    return parent ? SendTo(parent, msg, wParam, lParam) : 0;
}

void SendCommandToParent(HWND control, WORD code) {
    WindowPtr window = LookupWindow(control);
    if (!window) {
        return;
    }
    WORD id;
    {
        UiLock lock(UiMutex());
        id = LOWORD(window->id);
    }
    NotifyParent(control, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

}  // namespace ce::ui
