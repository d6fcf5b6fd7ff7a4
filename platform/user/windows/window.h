// Window objects and classes of the window system.
//
// Locking: one recursive lock, UiMutex(), guards every window's fields, the window tree, the class table,
// focus, activation and capture, and the state of the built-in controls. Window procedures always run
// without it: take it for a short read or update, release it, then send messages. It is taken after nothing
// else of the window system and before the front-end's own lock and the handle table's.
#pragma once

#include "kernel/handle_table.h"

#include <commctrl.h>
#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ce::ui {

std::recursive_mutex& UiMutex();
using UiLock = std::lock_guard<std::recursive_mutex>;

enum class ClassKind { Program, Dialog, Button, Static, ComboBox, TreeView };

struct WindowClass {
    std::u16string name;
    ClassKind kind = ClassKind::Program;
    WNDPROC proc = nullptr;
    UINT style = 0;
    int windowExtraBytes = 0;
    HBRUSH background = nullptr;
    HINSTANCE instance = nullptr;
    ATOM atom = 0;
    bool builtIn = false;
};

// One drawing operation on a window's surface, in client pixels.
struct DrawRecord {
    enum class Kind { Fill, Rectangle, Icon, Text };
    Kind kind = Kind::Fill;
    RECT rect{};
    COLORREF fill = 0;
    bool filled = false;
    COLORREF outline = 0;
    bool outlined = false;
    HICON icon = nullptr;
    std::u16string text;
    COLORREF textColor = 0;
};

// Per-class state of a built-in control; each control file derives its own.
class ControlState {
  public:
    virtual ~ControlState() = default;
};

struct DialogState;
class WindowObject;

class WindowObject : public KernelObject {
  public:
    WindowObject();
    ~WindowObject() override;

    // Constant after creation.
    HWND handle = nullptr;
    std::shared_ptr<const WindowClass> windowClass;
    DWORD threadId = 0;
    HINSTANCE instance = nullptr;

    // Guarded by UiMutex().
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    LONG_PTR id = 0;
    std::u16string text;
    RECT rect{};  // window rectangle in the parent's client pixels (screen pixels for a top-level window)
    std::weak_ptr<WindowObject> parent;
    HWND owner = nullptr;
    std::vector<std::shared_ptr<WindowObject>> children;  // z-order, topmost first
    LONG_PTR userData = 0;
    std::vector<BYTE> extraBytes;
    HFONT font = nullptr;
    bool destroying = false;
    bool needsPaint = false;
    DWORD attentionRequests = 0;  // SetForegroundWindow calls that brought it to the front-end's attention
    std::vector<DrawRecord> surface;
    std::unique_ptr<DialogState> dialog;
    std::unique_ptr<ControlState> control;

    bool IsChild() const { return (style & WS_CHILD) != 0; }
    bool Visible() const { return (style & WS_VISIBLE) != 0; }
    bool Enabled() const { return (style & WS_DISABLED) == 0; }
    ClassKind kind() const { return windowClass->kind; }
};

using WindowPtr = std::shared_ptr<WindowObject>;

// The window behind a handle, or nullptr. SetsNo error.
WindowPtr LookupWindow(HWND hwnd);
// As LookupWindow, but sets ERROR_INVALID_WINDOW_HANDLE when there is none.
WindowPtr WindowOrFail(HWND hwnd);

// The window and control state a built-in control's procedure works on; the state is made at WM_NCCREATE.
// nullptr when the window is gone or is not of the control's class.
template <class State>
State* ControlFor(HWND hwnd, UINT msg, WindowPtr* window) {
    *window = LookupWindow(hwnd);
    if (!*window) {
        return nullptr;
    }
    UiLock lock(UiMutex());
    if (msg == WM_NCCREATE && !(*window)->control) {
        (*window)->control = std::make_unique<State>();
    }
    return dynamic_cast<State*>((*window)->control.get());
}

// ---- tree and geometry (caller holds UiMutex) ------------------------------------------------------------

// Top-level windows in z-order, topmost first.
std::vector<WindowPtr>& TopLevelWindows();
WindowPtr ParentOf(const WindowObject& window);
WindowPtr TopLevelOf(const WindowPtr& window);
bool IsDescendant(const WindowPtr& ancestor, const WindowPtr& window);  // true for the window itself too
// Non-client insets of a window: left, top, right, bottom.
RECT FrameInsets(const WindowObject& window);
RECT FrameInsetsForStyle(DWORD style, DWORD exStyle);
RECT WindowRectOnScreen(const WindowObject& window);
RECT ClientRectOnScreen(const WindowObject& window);
RECT ClientRectLocal(const WindowObject& window);
bool VisibleOnScreen(const WindowObject& window);
// The client area's size and its origin in the parent's client pixels, as WM_SIZE and WM_MOVE carry them.
struct ClientPlacement {
    LPARAM size;
    LPARAM origin;
};
ClientPlacement PlacementOf(
    const WindowPtr& window);  // takes the lock itself  // the window and all its parents
bool EnabledWithParents(const WindowObject& window);

// ---- classes ---------------------------------------------------------------------------------------------

std::shared_ptr<const WindowClass> FindWindowClass(LPCWSTR name);  // name or atom; nullptr if unknown
void RegisterTreeViewClass();
bool TreeViewClassRegistered();

// Window procedures of the built-in classes.
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK TreeViewProc(HWND, UINT, WPARAM, LPARAM);

// ---- messages and state changes that other parts of the window system share -------------------------------

// Calls the window procedure on the window's own thread (directly when that is the caller's).
LRESULT SendTo(const WindowPtr& window, UINT msg, WPARAM wParam, LPARAM lParam);
// WM_COMMAND or WM_NOTIFY from a control to its parent.
LRESULT NotifyParent(HWND control, UINT msg, WPARAM wParam, LPARAM lParam);
void SendCommandToParent(HWND control, WORD code);

// Marks the window as needing a repaint at the next idle and tells the front-end.
void Invalidate(const WindowPtr& window);
void InvalidateTree(const WindowPtr& window);
void TellFrontEndChanged();
// Sends WM_PAINT now if the window needs it, then to its children.
void UpdateNow(const WindowPtr& window);

// Moves and sizes with WM_WINDOWPOSCHANGING/CHANGED (and so WM_MOVE/WM_SIZE). Coordinates are in the
// parent's client pixels.
bool SetWindowPosition(const WindowPtr& window, int x, int y, int cx, int cy, UINT flags);
// WM_MOVE and WM_SIZE after WM_WINDOWPOSCHANGED, for what changed.
void SendMoveAndSize(const WindowPtr& window, const WINDOWPOS& pos);
// Activation of a top-level window (WM_NCACTIVATE, WM_ACTIVATE), nullptr to deactivate.
void Activate(const WindowPtr& window);
// Activates another window after `leaving` was hidden, disabled or destroyed.
void ActivateAnotherWindow(const WindowPtr& leaving);
HWND ActiveWindowAnyThread();
HWND FocusWindowAnyThread();
HWND CaptureWindow();
// Moves the focus, sending WM_KILLFOCUS and WM_SETFOCUS. Answers the previous focus.
HWND ChangeFocus(const WindowPtr& window);

// Appends a record to the window's surface (caller need not hold the lock).
void RecordDrawing(const WindowPtr& window, const DrawRecord& record);

// Which window is at a point of the screen and which part of it: HTCLIENT, HTCAPTION, HTCLOSE, HTBORDER;
// HTERROR for a disabled window (its clicks are swallowed); HTNOWHERE with no window. Statics are
// transparent, as their WM_NCHITTEST answers in Win32.
struct HitResult {
    WindowPtr window;
    int area = HTNOWHERE;
};
HitResult HitTestScreen(int x, int y);

// The first top-level window with this class and title (either may be null), or nullptr.
HWND FindTopLevelWindow(LPCWSTR className, LPCWSTR title);

// The current message's modifier keys, for GetKeyState.
void SetKeyStateFromMessage(UINT modifiers, UINT message, WPARAM wParam);

// Strips the & of mnemonics; "&&" stands for one &.
std::u16string WithoutMnemonics(const std::u16string& text);
// The mnemonic character of a text (upper-cased), or 0.
char16_t MnemonicOf(const std::u16string& text);

}  // namespace ce::ui
