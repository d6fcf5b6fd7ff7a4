// Test support for the window system: the dialog templates of the tests' resource script, a log of the
// messages a window procedure receives (in the manner of Wine's message sequence tests), and a thread that
// runs a modal UI.
#pragma once

#include <gtest/gtest.h>

#include <ceplatform_ui.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ui_test {

constexpr DWORD kIdleTimeoutMs = 20000;

// A dialog template of ui_test_dialogs.rc, which the test program holds as its resources.
LPCDLGTEMPLATEW Template(WORD id);

struct Message {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

class MessageLog {
  public:
    void Add(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Clear();
    std::vector<Message> Take();
    // Messages of the log in `interesting`, in order.
    std::vector<Message> Filtered(const std::vector<UINT>& interesting);

  private:
    std::mutex lock_;
    std::vector<Message> messages_;
};

// The messages of `interesting` taken from the log, in order, each with its wParam: what Wine's tests call
// a sequence.
using Sequence = std::vector<std::pair<UINT, WPARAM>>;
Sequence TakeSequence(MessageLog& log, const std::vector<UINT>& interesting);

// A dialog procedure that logs every message to Log() and then asks Behaviour() (if set) for the answer.
MessageLog& Log();
using Behaviour = std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)>;
void SetBehaviour(Behaviour behaviour);
INT_PTR CALLBACK RecordingDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Runs `body` on a thread of its own (the UI thread of a test) and joins it at the end of the scope.
class UiThread {
  public:
    explicit UiThread(std::function<void()> body) : thread_(std::move(body)) {}
    ~UiThread() { Join(); }
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    std::thread thread_;
};

// A modeless dialog made by `make` on a UI thread of its own, which runs the dialog's message loop until the
// object goes away.
class DialogOnUiThread {
  public:
    explicit DialogOnUiThread(std::function<HWND()> make);
    ~DialogOnUiThread();
    HWND dialog() const { return dialog_; }

  private:
    HWND dialog_ = nullptr;
    DWORD threadId_ = 0;
    std::unique_ptr<UiThread> thread_;
};

// Waits until the UI thread is idle, failing the test otherwise.
void WaitIdle();

// Injects a key, or a click at a screen point or the centre of a window, and waits until it is handled.
void Key(UINT vk, UINT modifiers = 0);
void ClickAt(POINT point);
void Click(HWND window);

// The screen position of the centre of a window.
POINT CentreOf(HWND hwnd);

std::u16string TextOf(HWND hwnd);
// The items of a combo box, in its order.
std::vector<std::u16string> ComboItems(HWND combo);

}  // namespace ui_test
