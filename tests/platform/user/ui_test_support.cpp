#include "ui_test_support.h"

#include <algorithm>
#include <condition_variable>
#include <utility>

namespace ui_test {

DialogBuilder::DialogBuilder(DWORD style, short x, short y, short cx, short cy, std::u16string caption,
                             std::u16string font, WORD pointSize) {
    Dword(style);
    Dword(0);  // extended style
    countOffset_ = words_.size();
    Word(0);
    Word(static_cast<WORD>(x));
    Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(0);  // no menu
    Word(0);  // the default class
    Text(caption);
    if ((style & DS_SETFONT) != 0) {
        Word(pointSize);
        Text(font);
    }
}

void DialogBuilder::ItemStart(DWORD style, short x, short y, short cx, short cy, WORD id) {
    AlignDword();
    Dword(style);
    Dword(0);
    Word(static_cast<WORD>(x));
    Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(id);
    ++words_[countOffset_];
}

DialogBuilder& DialogBuilder::Item(DWORD style, short x, short y, short cx, short cy, WORD id,
                                   WORD classOrdinal, std::u16string text) {
    ItemStart(style, x, y, cx, cy, id);
    Word(0xFFFF);
    Word(classOrdinal);
    Text(text);
    Word(0);  // no creation data
    return *this;
}

DialogBuilder& DialogBuilder::Item(DWORD style, short x, short y, short cx, short cy, WORD id,
                                   const std::u16string& className, std::u16string text) {
    ItemStart(style, x, y, cx, cy, id);
    Text(className);
    Text(text);
    Word(0);
    return *this;
}

LPCDLGTEMPLATEW DialogBuilder::Template() {
    return reinterpret_cast<LPCDLGTEMPLATEW>(words_.data());
}

void DialogBuilder::Dword(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
}

void DialogBuilder::Text(const std::u16string& text) {
    for (char16_t c : text) {
        Word(c);
    }
    Word(0);
}

void DialogBuilder::AlignDword() {
    if (words_.size() % 2 != 0) {
        Word(0);
    }
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
