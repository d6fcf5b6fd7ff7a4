// Input from the front-end to windows: keys go to the focus, clicks to the window under the pointer (or the
// capture), the close box to the active window. A disabled window swallows the clicks it gets, so the owner
// of a modal dialog ignores them.
#include "user/windows/geometry.h"
#include "user/windows/message_queue.h"

#include <ceplatform_ui.h>

namespace ce::ui {
namespace {

constexpr LPARAM kAltDownBit = LPARAM{1} << 29;
constexpr LPARAM kKeyReleasedBits = LPARAM{3} << 30;
constexpr WPARAM kLeftButtonFlag = 0x0001;  // MK_LBUTTON

// The close box pressed by the last button-down, waiting for its button-up.
HWND pressedCloseBox = nullptr;  // only touched by the thread delivering input, under UiMutex()

WindowPtr ChildAt(const WindowPtr& parent, int x, int y, bool* swallowed) {
    for (const WindowPtr& child : parent->children) {
        if (!child->Visible() || child->destroying || !Contains(WindowRectOnScreen(*child), x, y)) {
            continue;
        }
        if (!child->Enabled()) {
            *swallowed = true;
            return child;
        }
        if (child->kind() == ClassKind::Static && (child->style & SS_NOTIFY) == 0) {
            continue;
        }
        WindowPtr deeper = ChildAt(child, x, y, swallowed);
        return deeper ? deeper : child;
    }
    return nullptr;
}

LPARAM ClientPoint(const WindowPtr& window, int x, int y) {
    UiLock lock(UiMutex());
    const RECT client = ClientRectOnScreen(*window);
    return MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(x - client.left)),
                      static_cast<WORD>(static_cast<SHORT>(y - client.top)));
}

WindowPtr KeyboardTarget() {
    WindowPtr target = LookupWindow(FocusWindowAnyThread());
    if (!target) {
        target = LookupWindow(ActiveWindowAnyThread());
    }
    return target;
}

void DeliverKey(const InputEvent& event) {
    WindowPtr target = KeyboardTarget();
    if (!target) {
        return;
    }
    const bool alt = (event.modifiers & CE_UI_ALT) != 0;
    const bool down = event.kind == InputEvent::Kind::KeyDown;
    const UINT msg = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
    const LPARAM lParam = 1 | (alt ? kAltDownBit : 0) | (down ? 0 : kKeyReleasedBits);
    PostToWindowThread(target, msg, event.vk, lParam, event.modifiers);
}

void DeliverMouse(const InputEvent& event) {
    const bool down = event.kind == InputEvent::Kind::MouseDown;
    const UINT msg = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    if (WindowPtr capture = LookupWindow(CaptureWindow())) {
        PostToWindowThread(capture, msg, down ? kLeftButtonFlag : 0, ClientPoint(capture, event.x, event.y),
                           0);
        return;
    }
    HitResult hit = HitTestScreen(event.x, event.y);
    HWND closeBox;
    {
        UiLock lock(UiMutex());
        closeBox = pressedCloseBox;
        pressedCloseBox = nullptr;
        if (down && hit.area == HTCLOSE) {
            pressedCloseBox = hit.window->handle;
        }
    }
    if (!hit.window || hit.area == HTERROR) {
        return;
    }
    if (down) {
        WindowPtr top;
        {
            UiLock lock(UiMutex());
            top = TopLevelOf(hit.window);
        }
        if (top->handle != ActiveWindowAnyThread()) {
            Activate(top);
        }
    }
    if (hit.area == HTCLIENT) {
        PostToWindowThread(hit.window, msg, down ? kLeftButtonFlag : 0,
                           ClientPoint(hit.window, event.x, event.y), 0);
    } else if (!down && hit.area == HTCLOSE && closeBox == hit.window->handle) {
        PostToWindowThread(hit.window, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(event.x, event.y), 0);
    }
}

}  // namespace

HitResult HitTestScreen(int x, int y) {
    UiLock lock(UiMutex());
    for (const WindowPtr& top : TopLevelWindows()) {
        if (!top->Visible() || top->destroying) {
            continue;
        }
        const RECT outer = WindowRectOnScreen(*top);
        if (!Contains(outer, x, y)) {
            continue;
        }
        if (!top->Enabled()) {
            return HitResult{top, HTERROR};
        }
        const RECT client = ClientRectOnScreen(*top);
        if (!Contains(client, x, y)) {
            const bool onCaption = (top->style & WS_CAPTION) == WS_CAPTION && y >= outer.top + kBorderPx &&
                                   y < client.top && x >= outer.left + kBorderPx &&
                                   x < outer.right - kBorderPx;
            if (onCaption && (top->style & WS_SYSMENU) != 0 &&
                x >= outer.right - kBorderPx - kCloseBoxWidthPx) {
                return HitResult{top, HTCLOSE};
            }
            return HitResult{top, onCaption ? HTCAPTION : HTBORDER};
        }
        bool swallowed = false;
        WindowPtr child = ChildAt(top, x, y, &swallowed);
        if (swallowed) {
            return HitResult{child, HTERROR};
        }
        if (child && !Contains(ClientRectOnScreen(*child), x, y)) {
            return HitResult{child, HTBORDER};
        }
        return HitResult{child ? child : top, HTCLIENT};
    }
    return HitResult{};
}

void DeliverInput(const InputEvent& event) {
    switch (event.kind) {
        case InputEvent::Kind::KeyDown:
        case InputEvent::Kind::KeyUp:
            DeliverKey(event);
            break;
        case InputEvent::Kind::Char:
            if (WindowPtr target = KeyboardTarget()) {
                PostToWindowThread(target, WM_CHAR, event.ch, 1, event.modifiers);
            }
            break;
        case InputEvent::Kind::MouseDown:
        case InputEvent::Kind::MouseUp:
            DeliverMouse(event);
            break;
        case InputEvent::Kind::Close:
            if (WindowPtr active = LookupWindow(ActiveWindowAnyThread()); active && active->Enabled()) {
                PostToWindowThread(active, WM_SYSCOMMAND, SC_CLOSE, 0, 0);
            }
            break;
        case InputEvent::Kind::Resize:
            TellFrontEndChanged();
            break;
    }
}

}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" HWND WINAPI WindowFromPoint(POINT Point) {
    HitResult hit = HitTestScreen(Point.x, Point.y);
    if (!hit.window) {
        return nullptr;
    }
    if (hit.area == HTERROR) {
        // A disabled window is not answered; its nearest enabled parent is.
        UiLock lock(UiMutex());
        WindowPtr parent = ParentOf(*hit.window);
        return parent ? parent->handle : nullptr;
    }
    return hit.window->handle;
}
