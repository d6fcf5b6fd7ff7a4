#include "ui_test_support.h"

#include <algorithm>
#include <condition_variable>
#include <utility>

namespace ui_test {

LPCDLGTEMPLATEW Template(WORD id) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG);
    EXPECT_NE(found, nullptr) << "no dialog " << id << " among the test program's resources";
    return static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(nullptr, found)));
}

void MessageLog::Add(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> guard(lock_);
    messages_.push_back(Message{hwnd, msg, wParam, lParam});
}

void MessageLog::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    messages_.clear();
}

std::vector<Message> MessageLog::Take() {
    std::lock_guard<std::mutex> guard(lock_);
    return std::exchange(messages_, {});
}

std::vector<Message> MessageLog::Filtered(const std::vector<UINT>& interesting) {
    std::vector<Message> kept = Take();
    std::erase_if(kept, [&](const Message& message) {
        return std::find(interesting.begin(), interesting.end(), message.msg) == interesting.end();
    });
    return kept;
}

Sequence TakeSequence(MessageLog& log, const std::vector<UINT>& interesting) {
    Sequence sequence;
    for (const Message& message : log.Filtered(interesting)) {
        sequence.emplace_back(message.msg, message.wParam);
    }
    return sequence;
}

namespace {

std::mutex behaviourLock;
Behaviour behaviour;

}  // namespace

MessageLog& Log() {
    static MessageLog log;
    return log;
}

void SetBehaviour(Behaviour next) {
    std::lock_guard<std::mutex> guard(behaviourLock);
    behaviour = std::move(next);
}

INT_PTR CALLBACK RecordingDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Log().Add(hwnd, msg, wParam, lParam);
    Behaviour current;
    {
        std::lock_guard<std::mutex> guard(behaviourLock);
        current = behaviour;
    }
    return current ? current(hwnd, msg, wParam, lParam) : FALSE;
}

DialogOnUiThread::DialogOnUiThread(std::function<HWND()> make) {
    std::mutex lock;
    std::condition_variable made;
    bool ready = false;
    thread_ = std::make_unique<UiThread>([&, make] {
        HWND dialog = make();
        {
            std::lock_guard<std::mutex> guard(lock);
            dialog_ = dialog;
            threadId_ = GetCurrentThreadId();
            ready = true;
        }
        made.notify_all();
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageW(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        DestroyWindow(dialog);
    });
    std::unique_lock<std::mutex> wait(lock);
    made.wait(wait, [&] { return ready; });
    wait.unlock();
    WaitIdle();
}

DialogOnUiThread::~DialogOnUiThread() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_->Join();
}

void WaitIdle() {
    ASSERT_TRUE(CeUiWaitIdle(kIdleTimeoutMs)) << "the UI thread did not become idle";
}

void Key(UINT vk, UINT modifiers) {
    ASSERT_TRUE(CeUiInjectKey(vk, modifiers));
    WaitIdle();
}

void ClickAt(POINT point) {
    ASSERT_TRUE(CeUiInjectClick(point.x, point.y));
    WaitIdle();
}

void Click(HWND window) {
    ClickAt(CentreOf(window));
}

POINT CentreOf(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

std::u16string TextOf(HWND hwnd) {
    WCHAR buffer[256] = {};
    GetWindowTextW(hwnd, buffer, 256);
    return buffer;
}

std::vector<std::u16string> ComboItems(HWND combo) {
    std::vector<std::u16string> items;
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        WCHAR text[64] = {};
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

}  // namespace ui_test
