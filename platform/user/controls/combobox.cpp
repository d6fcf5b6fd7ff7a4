// The ComboBox class as a drop-down list (CBS_DROPDOWNLIST): a field showing the selected item and a list
// that opens below it. Items are kept sorted without case with CBS_SORT. The window text is the selected
// item's text.
#include "kernel/wide_string.h"
#include "user/controls/control_views.h"
#include "user/windows/geometry.h"

#include <algorithm>
#include <new>

namespace ce::ui {
namespace {

constexpr int kFieldHeightPx = kRowHeightPx;

class ComboState : public ControlState {
  public:
    struct Entry {
        std::u16string text;
        ULONG_PTR data = 0;
    };
    std::vector<Entry> items;
    int selected = -1;
    bool dropped = false;
    int highlighted = -1;
    int topIndex = 0;
    int listHeightPx = kRowHeightPx;  // room for the open list below the field
};

int Count(const ComboState& combo) {
    return static_cast<int>(combo.items.size());
}

int VisibleRows(const ComboState& combo) {
    return std::max(1, std::min(Count(combo), combo.listHeightPx / kRowHeightPx));
}

void KeepHighlightShown(ComboState& combo) {
    const int rows = VisibleRows(combo);
    if (combo.highlighted < combo.topIndex) {
        combo.topIndex = std::max(combo.highlighted, 0);
    } else if (combo.highlighted >= combo.topIndex + rows) {
        combo.topIndex = combo.highlighted - rows + 1;
    }
}

// Where a sorted insertion goes: Win32's binary search, which puts an equal string at the found place.
int SortedPosition(const ComboState& combo, const std::u16string& text) {
    int low = 0, high = Count(combo);
    while (low < high) {
        const int middle = (low + high) / 2;
        const int order = CompareIgnoreCase(text, combo.items[static_cast<size_t>(middle)].text);
        if (order == 0) {
            return middle;
        }
        if (order < 0) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return high;
}

int Find(const ComboState& combo, int start, const std::u16string& text, bool exact) {
    const int count = Count(combo);
    for (int step = 1; step <= count; ++step) {
        const int index = ((start < 0 ? -1 : start) + step) % count;
        const std::u16string& item = combo.items[static_cast<size_t>(index)].text;
        const bool match =
            exact ? EqualsIgnoreCase(item, text)
                  : item.size() >= text.size() && EqualsIgnoreCase(item.substr(0, text.size()), text);
        if (match) {
            return index;
        }
    }
    return CB_ERR;
}

class Combo {
  public:
    Combo(const WindowPtr& window, ComboState* state) : window_(window), state_(state) {}

    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    void SyncText() {
        window_->text =
            state_->selected >= 0 ? state_->items[static_cast<size_t>(state_->selected)].text : u"";
    }
    LRESULT Insert(int index, LPCWSTR text, bool sorted);
    LRESULT Delete(int index);
    // Selection by the user: CBN_SELCHANGE when it changed.
    void UserSelect(int index);
    void Open();
    void Close(bool accept);
    int RowAt(LPARAM lParam);
    void MoveBy(int delta, bool toEnd);
    void GoTo(int index);
    void Paint();
    void Changed() {
        Invalidate(window_);
        TellFrontEndChanged();
    }

    WindowPtr window_;
    ComboState* state_;
};

LRESULT Combo::Insert(int index, LPCWSTR text, bool sorted) {
    if (text == nullptr) {
        return CB_ERR;
    }
    {
        UiLock lock(UiMutex());
        if (index < -1 || index > Count(*state_)) {
            return CB_ERR;
        }
        try {
            std::u16string value(text);
            if (sorted) {
                index = SortedPosition(*state_, value);
            } else if (index == -1) {
                index = Count(*state_);
            }
            state_->items.insert(state_->items.begin() + index, ComboState::Entry{std::move(value), 0});
        } catch (const std::bad_alloc&) {
            return CB_ERRSPACE;
        }
        if (state_->selected >= index) {
            ++state_->selected;
        }
    }
    Changed();
    return index;
}

LRESULT Combo::Delete(int index) {
    LRESULT remaining;
    {
        UiLock lock(UiMutex());
        if (index < 0 || index >= Count(*state_)) {
            return CB_ERR;
        }
        state_->items.erase(state_->items.begin() + index);
        // The selected item's deletion leaves no selection; an earlier one moves the selection up.
        if (state_->selected == index) {
            state_->selected = -1;
        } else if (state_->selected > index) {
            --state_->selected;
        }
        state_->highlighted = std::min(state_->highlighted, Count(*state_) - 1);
        state_->topIndex = 0;
        SyncText();
        remaining = Count(*state_);
    }
    Changed();
    return remaining;
}

void Combo::UserSelect(int index) {
    bool changed;
    {
        UiLock lock(UiMutex());
        if (index < 0 || index >= Count(*state_)) {
            return;
        }
        changed = state_->selected != index;
        state_->selected = index;
        state_->highlighted = index;
        KeepHighlightShown(*state_);
        SyncText();
    }
    if (changed) {
        Changed();
        SendCommandToParent(window_->handle, CBN_SELCHANGE);
    }
}

void Combo::Open() {
    {
        UiLock lock(UiMutex());
        if (state_->dropped) {
            return;
        }
    }
    SendCommandToParent(window_->handle, CBN_DROPDOWN);
    {
        UiLock lock(UiMutex());
        state_->dropped = true;
        state_->highlighted = state_->selected;
        state_->topIndex = 0;
        KeepHighlightShown(*state_);
    }
    SetCapture(window_->handle);
    Changed();
}

void Combo::Close(bool accept) {
    int chosen;
    {
        UiLock lock(UiMutex());
        if (!state_->dropped) {
            return;
        }
        state_->dropped = false;
        chosen = state_->highlighted;
    }
    if (GetCapture() == window_->handle) {
        ReleaseCapture();
    }
    if (accept && chosen >= 0) {
        UserSelect(chosen);
    }
    SendCommandToParent(window_->handle, accept ? CBN_SELENDOK : CBN_SELENDCANCEL);
    SendCommandToParent(window_->handle, CBN_CLOSEUP);
    Changed();
}

// The item of the open list under a point of the client area, or -1.
int Combo::RowAt(LPARAM lParam) {
    const int x = static_cast<SHORT>(LOWORD(lParam));
    const int y = static_cast<SHORT>(HIWORD(lParam));
    UiLock lock(UiMutex());
    const RECT client = ClientRectLocal(*window_);
    const int row = (y - kFieldHeightPx) / kRowHeightPx;
    if (x < 0 || x >= client.right || y < kFieldHeightPx || row >= VisibleRows(*state_)) {
        return -1;
    }
    const int index = state_->topIndex + row;
    return index < Count(*state_) ? index : -1;
}

void Combo::MoveBy(int delta, bool toEnd) {
    int target;
    {
        UiLock lock(UiMutex());
        const int count = Count(*state_);
        if (count == 0) {
            return;
        }
        const int current = state_->dropped ? state_->highlighted : state_->selected;
        if (toEnd) {
            target = delta < 0 ? 0 : count - 1;
        } else {
            target = current < 0 ? 0 : std::clamp(current + delta, 0, count - 1);
        }
    }
    GoTo(target);
}

// The open list moves its pointer; the closed field selects at once.
void Combo::GoTo(int index) {
    bool dropped;
    {
        UiLock lock(UiMutex());
        dropped = state_->dropped;
        if (dropped) {
            state_->highlighted = index;
            KeepHighlightShown(*state_);
        }
    }
    if (dropped) {
        Changed();
    } else {
        UserSelect(index);
    }
}

void Combo::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_->handle, &paint);
    if (dc == nullptr) {
        return;
    }
    RECT client;
    std::u16string text;
    {
        UiLock lock(UiMutex());
        client = ClientRectLocal(*window_);
        text = window_->text;
    }
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    DrawTextW(dc, text.c_str(), -1, &client, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    EndPaint(window_->handle, &paint);
}

LRESULT Combo::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = window_->handle;
    switch (msg) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            UiLock lock(UiMutex());
            // The window is the field; the template's height is the field and the list below it.
            state_->listHeightPx =
                std::max(kRowHeightPx, (create != nullptr ? create->cy : 0) - kFieldHeightPx);
            window_->rect.bottom = window_->rect.top + kFieldHeightPx;
            window_->text.clear();
            return TRUE;
        }
        case CB_ADDSTRING:
            return Insert(-1, reinterpret_cast<LPCWSTR>(lParam), (window_->style & CBS_SORT) != 0);
        case CB_INSERTSTRING:
            return Insert(static_cast<int>(wParam), reinterpret_cast<LPCWSTR>(lParam), false);
        case CB_DELETESTRING:
            return Delete(static_cast<int>(wParam));
        case CB_RESETCONTENT: {
            UiLock lock(UiMutex());
            state_->items.clear();
            state_->selected = state_->highlighted = -1;
            state_->topIndex = 0;
            SyncText();
            Changed();
            return CB_OKAY;
        }
        case CB_GETCOUNT: {
            UiLock lock(UiMutex());
            return Count(*state_);
        }
        case CB_SETCURSEL: {
            UiLock lock(UiMutex());
            const int index = static_cast<int>(wParam);
            const bool valid = index >= 0 && index < Count(*state_);
            state_->selected = valid ? index : -1;
            state_->highlighted = state_->selected;
            SyncText();
            Changed();
            return valid ? index : CB_ERR;
        }
        case CB_GETCURSEL: {
            UiLock lock(UiMutex());
            return state_->selected;
        }
        case CB_GETLBTEXT:
        case CB_GETLBTEXTLEN:
        case CB_GETITEMDATA:
        case CB_SETITEMDATA: {
            UiLock lock(UiMutex());
            const int index = static_cast<int>(wParam);
            if (index < 0 || index >= Count(*state_)) {
                return CB_ERR;
            }
            ComboState::Entry& entry = state_->items[static_cast<size_t>(index)];
            if (msg == CB_GETLBTEXTLEN) {
                return static_cast<LRESULT>(entry.text.size());
            }
            if (msg == CB_GETITEMDATA) {
                return static_cast<LRESULT>(entry.data);
            }
            if (msg == CB_SETITEMDATA) {
                entry.data = static_cast<ULONG_PTR>(lParam);
                return CB_OKAY;
            }
            if (lParam == 0) {
                return CB_ERR;
            }
            // As Win32, the buffer must hold the whole text: CB_GETLBTEXTLEN tells its size.
            auto* out = reinterpret_cast<WCHAR*>(lParam);
            entry.text.copy(out, entry.text.size());
            out[entry.text.size()] = 0;
            return static_cast<LRESULT>(entry.text.size());
        }
        case CB_FINDSTRING:
        case CB_FINDSTRINGEXACT:
        case CB_SELECTSTRING: {
            if (lParam == 0) {
                return CB_ERR;
            }
            int found;
            {
                UiLock lock(UiMutex());
                found = Find(*state_, static_cast<int>(wParam), reinterpret_cast<LPCWSTR>(lParam),
                             msg == CB_FINDSTRINGEXACT);
            }
            if (msg == CB_SELECTSTRING && found != CB_ERR) {
                UiLock lock(UiMutex());
                state_->selected = state_->highlighted = found;
                SyncText();
                Changed();
            }
            return found;
        }
        case CB_SHOWDROPDOWN:
            if (wParam) {
                Open();
            } else {
                Close(false);
            }
            return TRUE;
        case CB_GETDROPPEDSTATE: {
            UiLock lock(UiMutex());
            return state_->dropped ? TRUE : FALSE;
        }
        case CB_GETDROPPEDCONTROLRECT:
            if (lParam != 0) {
                UiLock lock(UiMutex());
                RECT rect = WindowRectOnScreen(*window_);
                rect.bottom += state_->listHeightPx;
                *reinterpret_cast<RECT*>(lParam) = rect;
            }
            return CB_OKAY;
        case WM_GETTEXT:
        case WM_GETTEXTLENGTH:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        case WM_SETTEXT: {
            if (lParam == 0) {
                return CB_ERR;
            }
            return Handle(CB_SELECTSTRING, static_cast<WPARAM>(-1), lParam) == CB_ERR ? CB_ERR : TRUE;
        }
        case WM_GETDLGCODE: {
            LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
            const auto* message = reinterpret_cast<const MSG*>(lParam);
            UiLock lock(UiMutex());
            if (state_->dropped && message != nullptr && message->message == WM_KEYDOWN &&
                (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE)) {
                code |= DLGC_WANTMESSAGE;  // the open list takes Enter and Esc itself
            }
            return code;
        }
        case WM_SYSKEYDOWN:
            if (wParam == VK_DOWN || wParam == VK_UP) {
                bool dropped;
                {
                    UiLock lock(UiMutex());
                    dropped = state_->dropped;
                }
                if (dropped) {
                    Close(true);
                } else {
                    Open();
                }
                return 0;
            }
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        case WM_KEYDOWN: {
            bool dropped;
            {
                UiLock lock(UiMutex());
                dropped = state_->dropped;
            }
            switch (wParam) {
                case VK_F4:
                    if (dropped) {
                        Close(true);
                    } else {
                        Open();
                    }
                    break;
                case VK_RETURN:
                    Close(true);
                    break;
                case VK_ESCAPE:
                    Close(false);
                    break;
                case VK_UP:
                case VK_LEFT:
                    MoveBy(-1, false);
                    break;
                case VK_DOWN:
                case VK_RIGHT:
                    MoveBy(1, false);
                    break;
                case VK_PRIOR:
                    MoveBy(-VisibleRows(*state_), false);
                    break;
                case VK_NEXT:
                    MoveBy(VisibleRows(*state_), false);
                    break;
                case VK_HOME:
                    MoveBy(-1, true);
                    break;
                case VK_END:
                    MoveBy(1, true);
                    break;
                default:
                    break;
            }
            return 0;
        }
        case WM_CHAR: {
            // Typing a character moves to the next item that starts with it.
            const char16_t typed[2] = {static_cast<char16_t>(wParam), 0};
            int found, current;
            {
                UiLock lock(UiMutex());
                current = state_->dropped ? state_->highlighted : state_->selected;
                found = Count(*state_) > 0 && wParam >= 0x20 ? Find(*state_, current, typed, false) : CB_ERR;
            }
            if (found != CB_ERR) {
                GoTo(found);
            }
            return 0;
        }
        case WM_LBUTTONDOWN: {
            bool dropped;
            {
                UiLock lock(UiMutex());
                dropped = state_->dropped;
            }
            if (!dropped) {
                SetFocus(hwnd);
                Open();
            } else if (RowAt(lParam) < 0) {
                Close(false);  // a press on the field or outside closes the list
            }
            return 0;
        }
        case WM_LBUTTONUP: {
            const int row = RowAt(lParam);
            if (row >= 0) {
                {
                    UiLock lock(UiMutex());
                    state_->highlighted = row;
                }
                Close(true);
            }
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != hwnd) {
                Close(false);
            }
            return 0;
        case WM_SETFOCUS:
            Changed();
            SendCommandToParent(hwnd, CBN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            Close(false);
            Changed();
            SendCommandToParent(hwnd, CBN_KILLFOCUS);
            return 0;
        case WM_ENABLE:
            if (!wParam) {
                Close(false);
            }
            Changed();
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WindowPtr window;
    ComboState* state = ControlFor<ComboState>(hwnd, msg, &window);
    if (state == nullptr) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return Combo(window, state).Handle(msg, wParam, lParam);
}

bool GetComboView(HWND hwnd, ComboView* view) {
    WindowPtr window = LookupWindow(hwnd);
    if (!window || view == nullptr) {
        return false;
    }
    UiLock lock(UiMutex());
    auto* state = dynamic_cast<ComboState*>(window->control.get());
    if (state == nullptr) {
        return false;
    }
    view->items.clear();
    for (const auto& entry : state->items) {
        view->items.push_back(entry.text);
    }
    view->selected = state->selected;
    view->dropped = state->dropped;
    view->highlighted = state->highlighted;
    view->topIndex = state->topIndex;
    view->visibleRows = VisibleRows(*state);
    view->listRect = RECT{};
    if (state->dropped) {
        const RECT field = WindowRectOnScreen(*window);
        view->listRect =
            RECT{field.left, field.bottom, field.right, field.bottom + view->visibleRows * kRowHeightPx};
    }
    return true;
}

}  // namespace ce::ui
