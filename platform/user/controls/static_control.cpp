// The Static class: text (left, centred or right) or an icon, transparent to the mouse unless SS_NOTIFY.
#include "user/windows/window.h"

namespace ce::ui {
namespace {

class StaticState : public ControlState {
  public:
    HICON icon = nullptr;  // SS_ICON
};

StaticState* StateOf(const WindowPtr& window) {
    return dynamic_cast<StaticState*>(window->control.get());
}

void Paint(const WindowPtr& window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window->handle, &paint);
    if (dc == nullptr) {
        return;
    }
    DWORD style;
    std::u16string text;
    HICON icon;
    RECT client;
    {
        UiLock lock(UiMutex());
        style = window->style;
        text = window->text;
        icon = StateOf(window)->icon;
        client = ClientRectLocal(*window);
    }
    auto brush =
        reinterpret_cast<HBRUSH>(NotifyParent(window->handle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                              reinterpret_cast<LPARAM>(window->handle)));
    if (brush != nullptr) {
        FillRect(dc, &client, brush);
    }
    const DWORD type = style & SS_TYPEMASK;
    if (type == SS_ICON) {
        if (icon != nullptr) {
            DrawIconEx(dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
        }
    } else {
        UINT format = type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT;
        format |= type == SS_LEFTNOWORDWRAP ? DT_SINGLELINE : DT_WORDBREAK;
        format |= (style & SS_NOPREFIX) != 0 ? DT_NOPREFIX : 0;
        DrawTextW(dc, text.c_str(), -1, &client, format);
    }
    EndPaint(window->handle, &paint);
}

}  // namespace

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WindowPtr window;
    if (ControlFor<StaticState>(hwnd, msg, &window) == nullptr) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    switch (msg) {
        case WM_NCCREATE:
            return TRUE;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_STATIC;
        case WM_NCHITTEST:
            return (window->style & SS_NOTIFY) != 0 ? HTCLIENT : HTTRANSPARENT;
        case WM_LBUTTONDOWN:
            if ((window->style & SS_NOTIFY) != 0) {
                SendCommandToParent(hwnd, STN_CLICKED);
            }
            return 0;
        case WM_ENABLE:
            Invalidate(window);
            return 0;
        case STM_SETICON: {
            HICON previous;
            {
                UiLock lock(UiMutex());
                previous = StateOf(window)->icon;
                StateOf(window)->icon = reinterpret_cast<HICON>(wParam);
            }
            Invalidate(window);
            return reinterpret_cast<LRESULT>(previous);
        }
        case STM_GETICON: {
            UiLock lock(UiMutex());
            return reinterpret_cast<LRESULT>(StateOf(window)->icon);
        }
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace ce::ui
