// The headless front-end: nothing is shown; tests inject input through ceplatform_ui.h and wait until the
// window system is idle.
#include "user/front_end/front_end.h"

#include <ceplatform_ui.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace ce::ui {
namespace {

class HeadlessFrontEnd final : public QueuedFrontEnd {
  public:
    bool ShowsScreen() const override { return false; }
    void Changed() override {}
    void Idle() override {}
    void Attention(HWND) override {}

    bool WaitForInput(DWORD timeoutMs, unsigned long wakeCount, InputEvent* event) override {
        std::unique_lock<std::mutex> lock(lock_);
        if (wakeCount != wakeCount_) {
            return false;
        }
        if (timeoutMs == 0) {
            // A poll is not a wait: the thread still has work in hand.
            return TakeEventLocked(wakeCount, event);
        }
        waiting_.push_back(wakeCount);
        idle_.notify_all();
        changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return !events_.empty() || wakeCount_ != wakeCount; });
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), wakeCount));
        return TakeEventLocked(wakeCount, event);
    }

    void Inject(const InputEvent& event) { QueueEvents(&event, 1); }

    bool WaitIdle(DWORD timeoutMs) {
        std::unique_lock<std::mutex> lock(lock_);
        return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return events_.empty() &&
                   std::find(waiting_.begin(), waiting_.end(), wakeCount_) != waiting_.end();
        });
    }

  private:
    std::condition_variable idle_;
    std::vector<unsigned long> waiting_;  // guarded by lock_: the wake count each waiter started with
};

HeadlessFrontEnd* headlessInstance = nullptr;  // set once, before any injection can reach it

}  // namespace

FrontEnd* NewHeadlessFrontEnd() {
    headlessInstance = new HeadlessFrontEnd;
    return headlessInstance;
}

bool InjectHeadlessInput(const InputEvent& event) {
    if (!HeadlessFrontEndActive()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    headlessInstance->Inject(event);
    return true;
}

bool WaitHeadlessIdle(DWORD timeoutMs) {
    if (!HeadlessFrontEndActive()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    if (!headlessInstance->WaitIdle(timeoutMs)) {
        SetLastError(WAIT_TIMEOUT);
        return false;
    }
    return true;
}

}  // namespace ce::ui

using ce::ui::InputEvent;

namespace {

constexpr UINT kKnownModifiers = CE_UI_SHIFT | CE_UI_CTRL | CE_UI_ALT;
constexpr UINT kLargestVirtualKey = 0xFE;

}  // namespace

extern "C" BOOL CeUiInjectKey(UINT vk, UINT modifiers) {
    if (vk == 0 || vk > kLargestVirtualKey || (modifiers & ~kKnownModifiers) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    InputEvent down{InputEvent::Kind::KeyDown, vk, modifiers};
    InputEvent up{InputEvent::Kind::KeyUp, vk, modifiers};
    return ce::ui::InjectHeadlessInput(down) && ce::ui::InjectHeadlessInput(up);
}

extern "C" BOOL CeUiInjectChar(WCHAR ch) {
    if (ch == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    InputEvent event{InputEvent::Kind::Char};
    event.ch = ch;
    return ce::ui::InjectHeadlessInput(event);
}

extern "C" BOOL CeUiInjectClick(int x, int y) {
    InputEvent down{InputEvent::Kind::MouseDown};
    down.x = x;
    down.y = y;
    InputEvent up = down;
    up.kind = InputEvent::Kind::MouseUp;
    return ce::ui::InjectHeadlessInput(down) && ce::ui::InjectHeadlessInput(up);
}

extern "C" BOOL CeUiInjectClose(void) {
    return ce::ui::InjectHeadlessInput(InputEvent{InputEvent::Kind::Close});
}

extern "C" BOOL CeUiWaitIdle(DWORD timeoutMs) {
    return ce::ui::WaitHeadlessIdle(timeoutMs);
}
