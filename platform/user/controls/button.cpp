// The Button class: push, default push and owner-drawn buttons (check boxes and radio buttons keep their
// check state). A press by mouse or Space shows the button pushed; the release inside it clicks.
#include "user/windows/window_views.h"

namespace ce::ui {
namespace {

constexpr UINT kPressed = 0x0100;  // a press is in progress (beside the BST_ bits)
constexpr UINT kCheckMask = BST_CHECKED | BST_INDETERMINATE;

class ButtonState : public ControlState {
  public:
    UINT state = 0;  // BST_PUSHED, BST_FOCUS, check bits, kPressed
};

ButtonState* StateOf(const WindowPtr& window) {
    return dynamic_cast<ButtonState*>(window->control.get());
}

UINT TypeOf(const WindowPtr& window) {
    UiLock lock(UiMutex());
    return window->style & BS_TYPEMASK;
}

UINT ChangeState(const WindowPtr& window, UINT set, UINT clear) {
    UiLock lock(UiMutex());
    ButtonState* button = StateOf(window);
    const UINT previous = button->state;
    button->state = (previous & ~clear) | set;
    return previous;
}

UINT StateNow(const WindowPtr& window) {
    UiLock lock(UiMutex());
    return StateOf(window)->state;
}

// Asks the parent to draw an owner-drawn button on the given DC.
void DrawOwnerDrawn(const WindowPtr& window, HDC dc, UINT action) {
    DRAWITEMSTRUCT item{};
    {
        UiLock lock(UiMutex());
        const UINT state = StateOf(window)->state;
        item.CtlType = ODT_BUTTON;
        item.CtlID = LOWORD(window->id);
        item.itemAction = action;
        item.itemState = ((state & BST_PUSHED) != 0 ? ODS_SELECTED : 0) |
                         ((state & BST_FOCUS) != 0 ? ODS_FOCUS : 0) | (window->Enabled() ? 0 : ODS_DISABLED);
        item.hwndItem = window->handle;
        item.hDC = dc;
        item.rcItem = ClientRectLocal(*window);
    }
    NotifyParent(window->handle, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(window->handle));
    NotifyParent(window->handle, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
}

// A state change outside WM_PAINT: owner-drawn buttons are asked at once, others repaint at the next idle.
void Redraw(const WindowPtr& window, UINT action) {
    if (TypeOf(window) != BS_OWNERDRAW) {
        Invalidate(window);
        return;
    }
    if (!IsWindowVisible(window->handle)) {
        return;
    }
    HDC dc = GetDC(window->handle);
    if (dc != nullptr) {
        DrawOwnerDrawn(window, dc, action);
        ReleaseDC(window->handle, dc);
    }
}

void Paint(const WindowPtr& window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window->handle, &paint);
    if (dc == nullptr) {
        return;
    }
    if (TypeOf(window) == BS_OWNERDRAW) {
        DrawOwnerDrawn(window, dc, ODA_DRAWENTIRE);
    } else {
        RECT client;
        std::u16string text;
        {
            UiLock lock(UiMutex());
            client = ClientRectLocal(*window);
            text = window->text;
        }
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
        SetTextColor(dc, GetSysColor(IsWindowEnabled(window->handle) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        DrawTextW(dc, text.c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    EndPaint(window->handle, &paint);
}

void Press(const WindowPtr& window) {
    SendTo(window, BM_SETSTATE, TRUE, 0);
    ChangeState(window, kPressed, 0);
    SetCapture(window->handle);
}

// The end of a press by mouse (inside or not) or by Space (always a click).
void Release(const WindowPtr& window, bool click) {
    const UINT previous = ChangeState(window, 0, kPressed);
    if ((previous & kPressed) == 0) {
        return;
    }
    SendTo(window, BM_SETSTATE, FALSE, 0);
    ReleaseCapture();
    if (!click) {
        return;
    }
    const UINT type = TypeOf(window);
    if (type == BS_AUTOCHECKBOX) {
        ChangeState(window, (previous & BST_CHECKED) != 0 ? 0 : BST_CHECKED, kCheckMask);
        Invalidate(window);
    } else if (type == BS_AUTORADIOBUTTON) {
        ChangeState(window, BST_CHECKED, kCheckMask);
        Invalidate(window);
    }
    SendCommandToParent(window->handle, BN_CLICKED);
}

LRESULT DialogCode(UINT type) {
    switch (type) {
        case BS_PUSHBUTTON:
        case BS_USERBUTTON:
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_DEFPUSHBUTTON:
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX:
            return DLGC_STATIC;
        default:
            return DLGC_BUTTON;
    }
}

}  // namespace

bool ButtonPushed(const WindowObject& button) {
    UiLock lock(UiMutex());
    const auto* state = dynamic_cast<const ButtonState*>(button.control.get());
    return state != nullptr && (state->state & BST_PUSHED) != 0;
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WindowPtr window;
    if (ControlFor<ButtonState>(hwnd, msg, &window) == nullptr) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    switch (msg) {
        case WM_NCCREATE:
            return TRUE;
        case WM_GETDLGCODE:
            return DialogCode(TypeOf(window));
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_ENABLE:
        case WM_SETTEXT: {
            const LRESULT result = msg == WM_SETTEXT ? DefWindowProcW(hwnd, msg, wParam, lParam) : 0;
            Invalidate(window);
            return result;
        }
        case WM_LBUTTONDOWN:
            SetFocus(hwnd);
            Press(window);
            return 0;
        case WM_LBUTTONUP: {
            RECT client;
            {
                UiLock lock(UiMutex());
                client = ClientRectLocal(*window);
            }
            const POINT point{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
            Release(window, PtInRect(&client, point) != FALSE);
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_SPACE && (StateNow(window) & kPressed) == 0) {
                Press(window);
            }
            return 0;
        case WM_KEYUP:
            if (wParam == VK_SPACE) {
                Release(window, true);
            }
            return 0;
        case WM_CAPTURECHANGED:
            if ((StateNow(window) & kPressed) != 0 && reinterpret_cast<HWND>(lParam) != hwnd) {
                ChangeState(window, 0, kPressed);
                SendTo(window, BM_SETSTATE, FALSE, 0);
            }
            return 0;
        case WM_SETFOCUS:
            ChangeState(window, BST_FOCUS, 0);
            Redraw(window, ODA_FOCUS);
            if ((window->style & BS_NOTIFY) != 0) {
                SendCommandToParent(hwnd, BN_SETFOCUS);
            }
            return 0;
        case WM_KILLFOCUS:
            ChangeState(window, 0, BST_FOCUS);
            if ((StateNow(window) & kPressed) != 0 && GetCapture() == hwnd) {
                ReleaseCapture();
            }
            Redraw(window, ODA_FOCUS);
            if ((window->style & BS_NOTIFY) != 0) {
                SendCommandToParent(hwnd, BN_KILLFOCUS);
            }
            return 0;
        case BM_SETSTATE: {
            const UINT previous = ChangeState(window, wParam ? BST_PUSHED : 0, wParam ? 0 : BST_PUSHED);
            if (((previous & BST_PUSHED) != 0) != (wParam != 0)) {
                Redraw(window, ODA_SELECT);
            }
            return 0;
        }
        case BM_GETSTATE:
            return StateNow(window) & (BST_PUSHED | BST_FOCUS | kCheckMask);
        case BM_GETCHECK:
            return StateNow(window) & kCheckMask;
        case BM_SETCHECK:
            ChangeState(window, static_cast<UINT>(wParam) & kCheckMask, kCheckMask);
            Invalidate(window);
            return 0;
        case BM_SETSTYLE: {
            {
                UiLock lock(UiMutex());
                window->style = (window->style & ~BS_TYPEMASK) | (static_cast<DWORD>(wParam) & BS_TYPEMASK);
            }
            if (LOWORD(lParam) != 0) {
                Invalidate(window);
            }
            return 0;
        }
        case BM_CLICK:
            SendTo(window, WM_LBUTTONDOWN, 0x0001, 0);
            SendTo(window, WM_LBUTTONUP, 0, 0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace ce::ui
