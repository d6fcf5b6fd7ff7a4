// Message queues and the calls that move messages: SendMessageW across threads, PostMessageW, GetMessageW,
// PeekMessageW, DispatchMessageW, TranslateMessage, PostQuitMessage.
#include "user/windows/message_queue.h"

#include "user/windows/geometry.h"

#include <ceplatform_ui.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <algorithm>
#include <new>

namespace ce::ui {
namespace {

// How long a waiting thread sleeps before it looks at its queue again on its own.
constexpr DWORD kWaitSliceMs = 100;

struct QueuedMessage {
    MSG msg;
    UINT modifiers;
};

class ThreadQueue;

struct SentMessage {
    WindowPtr window;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;  // guarded by the sender's queue lock
    std::shared_ptr<ThreadQueue> sender;
};

class ThreadQueue {
  public:
    explicit ThreadQueue(DWORD id) : threadId(id) {}
    const DWORD threadId;
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<QueuedMessage> posted;               // guarded by lock
    std::deque<std::shared_ptr<SentMessage>> sent;  // guarded by lock
    bool quit = false;                              // guarded by lock
    int quitCode = 0;                               // guarded by lock
    bool alive = true;                              // guarded by lock
};

std::mutex& RegistryMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::map<DWORD, std::shared_ptr<ThreadQueue>>& Registry() {
    static auto* registry = new std::map<DWORD, std::shared_ptr<ThreadQueue>>;
    return *registry;
}

void Complete(const std::shared_ptr<SentMessage>& message, LRESULT result) {
    std::lock_guard<std::mutex> guard(message->sender->lock);
    message->result = result;
    message->done = true;
    message->sender->arrived.notify_all();
}

// The thread's queue lives until the thread ends; messages still sent to it then answer 0.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (!queue) {
            return;
        }
        std::deque<std::shared_ptr<SentMessage>> unanswered;
        {
            std::lock_guard<std::mutex> guard(queue->lock);
            queue->alive = false;
            unanswered.swap(queue->sent);
        }
        for (const auto& message : unanswered) {
            Complete(message, 0);
        }
        std::lock_guard<std::mutex> guard(RegistryMutex());
        Registry().erase(queue->threadId);
    }
};

thread_local QueueHolder currentQueue;

ThreadQueue& MyQueue() {
    if (!currentQueue.queue) {
        auto queue = std::make_shared<ThreadQueue>(GetCurrentThreadId());
        std::lock_guard<std::mutex> guard(RegistryMutex());
        Registry()[queue->threadId] = queue;
        currentQueue.queue = std::move(queue);
    }
    return *currentQueue.queue;
}

std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId) {
    std::lock_guard<std::mutex> guard(RegistryMutex());
    auto found = Registry().find(threadId);
    return found == Registry().end() ? nullptr : found->second;
}

void WakeQueue(ThreadQueue& queue) {
    queue.arrived.notify_all();
    CurrentFrontEnd().Wake();
}

LRESULT CallProc(const WindowPtr& window, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc;
    {
        UiLock lock(UiMutex());
        proc = window->proc;
    }
    return proc != nullptr ? proc(window->handle, msg, wParam, lParam)
                           : DefWindowProcW(window->handle, msg, wParam, lParam);
}

void ProcessSentMessages(ThreadQueue& queue) {
    for (;;) {
        std::shared_ptr<SentMessage> message;
        {
            std::lock_guard<std::mutex> guard(queue.lock);
            if (queue.sent.empty()) {
                return;
            }
            message = queue.sent.front();
            queue.sent.pop_front();
        }
        const LRESULT result = LookupWindow(message->window->handle)
                                   ? CallProc(message->window, message->msg, message->wParam, message->lParam)
                                   : 0;
        Complete(message, result);
    }
}

LRESULT SendAcrossThreads(const WindowPtr& window, UINT msg, WPARAM wParam, LPARAM lParam) {
    ThreadQueue& mine = MyQueue();
    std::shared_ptr<ThreadQueue> target = QueueOfThread(window->threadId);
    if (!target) {
        return 0;
    }
    auto message = std::make_shared<SentMessage>();
    message->window = window;
    message->msg = msg;
    message->wParam = wParam;
    message->lParam = lParam;
    message->sender = currentQueue.queue;
    {
        std::lock_guard<std::mutex> guard(target->lock);
        if (!target->alive) {
            return 0;
        }
        target->sent.push_back(message);
    }
    WakeQueue(*target);
    // While waiting, answer what others send us, so that two threads sending to each other go on.
    for (;;) {
        ProcessSentMessages(mine);
        std::unique_lock<std::mutex> lock(mine.lock);
        if (message->done) {
            return message->result;
        }
        mine.arrived.wait_for(lock, std::chrono::milliseconds(kWaitSliceMs),
                              [&] { return message->done || !mine.sent.empty(); });
        if (message->done) {
            return message->result;
        }
    }
}

// The windows a filter accepts: the window and its descendants. Collected before the queue lock is taken,
// since the queue lock comes after the window lock.
std::vector<HWND> AcceptedWindows(HWND filter) {
    std::vector<HWND> accepted;
    WindowPtr root = LookupWindow(filter);
    if (!root) {
        return accepted;
    }
    UiLock lock(UiMutex());
    std::vector<WindowPtr> pending{root};
    while (!pending.empty()) {
        WindowPtr window = pending.back();
        pending.pop_back();
        accepted.push_back(window->handle);
        pending.insert(pending.end(), window->children.begin(), window->children.end());
    }
    return accepted;
}

bool Matches(const MSG& msg, HWND filter, const std::vector<HWND>& accepted, UINT first, UINT last) {
    if ((first != 0 || last != 0) && (msg.message < first || msg.message > last)) {
        return false;
    }
    return filter == nullptr || std::find(accepted.begin(), accepted.end(), msg.hwnd) != accepted.end();
}

// The next window of this thread that waits for WM_PAINT, children after their parents.
WindowPtr FindWindowToPaint(DWORD threadId, HWND filter) {
    UiLock lock(UiMutex());
    std::vector<WindowPtr> pending(TopLevelWindows().rbegin(), TopLevelWindows().rend());
    while (!pending.empty()) {
        WindowPtr window = pending.back();
        pending.pop_back();
        if (window->threadId == threadId && window->needsPaint && VisibleOnScreen(*window) &&
            (filter == nullptr || window->handle == filter)) {
            return window;
        }
        pending.insert(pending.end(), window->children.rbegin(), window->children.rend());
    }
    return nullptr;
}

thread_local UINT currentModifiers = 0;
thread_local bool leftButtonDown = false;
thread_local UINT keyDown = 0;

bool PeekCore(MSG* out, HWND filter, UINT first, UINT last, bool remove) {
    ThreadQueue& queue = MyQueue();
    for (;;) {
        ProcessSentMessages(queue);
        const std::vector<HWND> accepted = filter != nullptr ? AcceptedWindows(filter) : std::vector<HWND>();
        {
            std::lock_guard<std::mutex> guard(queue.lock);
            for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
                if (Matches(it->msg, filter, accepted, first, last)) {
                    *out = it->msg;
                    const UINT modifiers = it->modifiers;
                    if (remove) {
                        queue.posted.erase(it);
                    }
                    SetKeyStateFromMessage(modifiers, out->message, out->wParam);
                    return true;
                }
            }
            if (queue.quit && (first == 0 || (first <= WM_QUIT && WM_QUIT <= last))) {
                *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, GetTickCount(), {}};
                if (remove) {
                    queue.quit = false;
                }
                return true;
            }
        }
        // Input comes in one event at a time, when the queue is empty, so that each event meets the
        // windows as the previous one left them.
        InputEvent event;
        if (ThreadHasWindows(queue.threadId) &&
            CurrentFrontEnd().WaitForInput(0, CurrentFrontEnd().WakeCount(), &event)) {
            DeliverInput(event);
            continue;
        }
        if (first == 0 || (first <= WM_PAINT && WM_PAINT <= last)) {
            if (WindowPtr window = FindWindowToPaint(queue.threadId, filter)) {
                {
                    // Cleared here so that a procedure that does not validate is not asked forever.
                    UiLock lock(UiMutex());
                    window->needsPaint = false;
                }
                *out = MSG{window->handle, WM_PAINT, 0, 0, GetTickCount(), {}};
                return true;
            }
        }
        return false;
    }
}

}  // namespace

void SetKeyStateFromMessage(UINT modifiers, UINT message, WPARAM wParam) {
    if ((message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
        (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST)) {
        currentModifiers = modifiers;
    }
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
        keyDown = static_cast<UINT>(wParam);
    } else if ((message == WM_KEYUP || message == WM_SYSKEYUP) && keyDown == wParam) {
        keyDown = 0;
    } else if (message == WM_LBUTTONDOWN) {
        leftButtonDown = true;
    } else if (message == WM_LBUTTONUP) {
        leftButtonDown = false;
    }
}

LRESULT SendTo(const WindowPtr& window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!window) {
        return 0;
    }
    if (window->threadId == GetCurrentThreadId()) {
        return CallProc(window, msg, wParam, lParam);
    }
    try {
        return SendAcrossThreads(window, msg, wParam, lParam);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

bool PostToWindowThread(const WindowPtr& window, UINT msg, WPARAM wParam, LPARAM lParam, UINT modifiers) {
    std::shared_ptr<ThreadQueue> target = QueueOfThread(window->threadId);
    if (!target && window->threadId == GetCurrentThreadId()) {
        MyQueue();
        target = currentQueue.queue;
    }
    if (!target) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(target->lock);
        if (!target->alive) {
            return false;
        }
        try {
            target->posted.push_back(
                QueuedMessage{MSG{window->handle, msg, wParam, lParam, GetTickCount(), {}}, modifiers});
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
    }
    WakeQueue(*target);
    return true;
}

bool ThreadHasWindows(DWORD threadId) {
    UiLock lock(UiMutex());
    std::vector<WindowPtr> pending(TopLevelWindows().begin(), TopLevelWindows().end());
    for (const WindowPtr& window : pending) {
        if (window->threadId == threadId) {
            return true;
        }
    }
    return false;
}

}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WindowPtr window = WindowOrFail(hWnd);
    return window ? SendTo(window, Msg, wParam, lParam) : 0;
}

extern "C" BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd == nullptr) {
        return PostThreadMessageW(GetCurrentThreadId(), Msg, wParam, lParam);
    }
    WindowPtr window = WindowOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    if (!PostToWindowThread(window, Msg, wParam, lParam, 0)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> target =
        idThread == GetCurrentThreadId() ? (MyQueue(), currentQueue.queue) : QueueOfThread(idThread);
    if (!target) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(target->lock);
        if (!target->alive) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        try {
            target->posted.push_back(QueuedMessage{MSG{nullptr, Msg, wParam, lParam, GetTickCount(), {}}, 0});
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
    }
    WakeQueue(*target);
    return TRUE;
}

extern "C" BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                    UINT wRemoveMsg) {
    if (lpMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (hWnd != nullptr && !WindowOrFail(hWnd)) {
        return FALSE;
    }
    return PeekCore(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (lpMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hWnd != nullptr && !WindowOrFail(hWnd)) {
        return -1;
    }
    ThreadQueue& queue = MyQueue();
    FrontEnd& frontEnd = CurrentFrontEnd();
    for (;;) {
        const unsigned long wakeCount = frontEnd.WakeCount();
        if (PeekCore(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) {
            return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        }
        if (ThreadHasWindows(queue.threadId)) {
            frontEnd.Idle();
            InputEvent event;
            if (frontEnd.WaitForInput(kWaitSliceMs, wakeCount, &event)) {
                DeliverInput(event);
            }
        } else {
            std::unique_lock<std::mutex> lock(queue.lock);
            queue.arrived.wait_for(lock, std::chrono::milliseconds(kWaitSliceMs), [&] {
                return !queue.posted.empty() || !queue.sent.empty() || queue.quit;
            });
        }
    }
}

extern "C" LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
    if (lpMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (lpMsg->hwnd == nullptr) {
        return 0;
    }
    WindowPtr window = WindowOrFail(lpMsg->hwnd);
    if (!window) {
        return 0;
    }
    if (window->threadId != GetCurrentThreadId()) {
        SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
        return 0;
    }
    return SendTo(window, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

namespace {

// The character a key makes, or 0 for keys without one.
char16_t CharacterOfKey(UINT vk, UINT modifiers) {
    const bool shift = (modifiers & CE_UI_SHIFT) != 0;
    if (vk >= 'A' && vk <= 'Z') {
        if ((modifiers & CE_UI_CTRL) != 0) {
            return static_cast<char16_t>(vk - 'A' + 1);
        }
        return static_cast<char16_t>(shift ? vk : vk - 'A' + 'a');
    }
    if (vk >= '0' && vk <= '9') {
        return static_cast<char16_t>(vk);
    }
    switch (vk) {
        case VK_SPACE:
            return u' ';
        case VK_RETURN:
            return u'\r';
        case VK_ESCAPE:
            return 0x1B;
        case VK_TAB:
            return u'\t';
        case VK_BACK:
            return 0x08;
        case VK_ADD:
            return u'+';
        case VK_SUBTRACT:
            return u'-';
        case VK_MULTIPLY:
            return u'*';
        default:
            return 0;
    }
}

}  // namespace

extern "C" BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (lpMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN) {
        return lpMsg->message >= WM_KEYFIRST && lpMsg->message <= WM_KEYLAST;
    }
    const char16_t ch = CharacterOfKey(static_cast<UINT>(lpMsg->wParam), currentModifiers);
    WindowPtr window = LookupWindow(lpMsg->hwnd);
    if (ch != 0 && window) {
        PostToWindowThread(window, lpMsg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, ch, lpMsg->lParam,
                           currentModifiers);
    }
    return TRUE;
}

extern "C" void WINAPI PostQuitMessage(int nExitCode) {
    ThreadQueue& queue = MyQueue();
    {
        std::lock_guard<std::mutex> guard(queue.lock);
        queue.quit = true;
        queue.quitCode = nExitCode;
    }
    WakeQueue(queue);
}

extern "C" SHORT WINAPI GetKeyState(int nVirtKey) {
    constexpr SHORT kDown = static_cast<SHORT>(0x8000);
    switch (nVirtKey) {
        case VK_SHIFT:
            return (currentModifiers & CE_UI_SHIFT) != 0 ? kDown : 0;
        case VK_CONTROL:
            return (currentModifiers & CE_UI_CTRL) != 0 ? kDown : 0;
        case VK_MENU:
            return (currentModifiers & CE_UI_ALT) != 0 ? kDown : 0;
        case VK_LBUTTON:
            return leftButtonDown ? kDown : 0;
        default:
            return nVirtKey != 0 && static_cast<UINT>(nVirtKey) == keyDown ? kDown : 0;
    }
}
