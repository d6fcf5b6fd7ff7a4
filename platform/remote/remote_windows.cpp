#include "remote/remote_windows.h"

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "remote/client.h"
#include "user/sharing/window_sharing.h"

namespace ce::remote {

using namespace wire;

using ui::ForeignId;
using ui::ForeignState;

namespace {

// The listener of the current session. Its thread owns its connection and closes it when the host
// ends it; a listener of an earlier session ends so by itself.
struct Listener {
    std::mutex lock;
    uint64_t session = 0;  // lock
    int fd = -1;           // lock
    bool opening = false;  // lock: a thread is connecting one
};

Listener& TheListener() {
    static Listener* listener = new Listener;
    return *listener;
}

void ApplyRequest(const std::vector<uint8_t>& message) {
    Reader fields(message);
    const Op op = MessageOp(message);
    const uint32_t window = fields.U32();
    const uint32_t command = op == Op::WindowShow ? fields.U32() : 0;
    if (fields.Complete() && (op == Op::WindowShow || op == Op::WindowForeground)) {
        ui::ApplyWindowRequest(window, op == Op::WindowForeground, static_cast<int>(command));
    }
}

// How often a program whose host ended its listener looks for the next host.
constexpr std::chrono::milliseconds kNextHostPoll{500};

// The host ended the listener: it died, or the device was stopped. Once a host runs again (started by
// whoever calls next, never by this thread, so that a stopped device stays stopped), the program's windows
// are published there, so that other programs find them before one of them changes.
void AwaitNextHost() {
    for (;;) {
        std::this_thread::sleep_for(kNextHostPoll);
        HostStartRefused joinOnly;
        if (ui::RepublishWindows()) {
            return;
        }
    }
}

void Listen(int fd) {
    std::vector<uint8_t> message;
    while (ReceiveMessage(fd, &message) == Received::Message) {
        ApplyRequest(message);
    }
    bool current = false;
    {
        Listener& listener = TheListener();
        std::lock_guard<std::mutex> guard(listener.lock);
        current = listener.fd == fd;
        if (current) {
            listener.fd = -1;
            listener.session = 0;
        }
    }
    close(fd);
    if (current) {
        AwaitNextHost();
    }
}

// Opens the session's listener unless it has one; without one the program's windows are still found,
// but requests for them are refused. The lock is not held while connecting: the session's lock is taken
// then, and a fork takes both.
void EnsureListener() {
    Listener& listener = TheListener();
    {
        std::lock_guard<std::mutex> guard(listener.lock);
        if (listener.opening || (listener.fd >= 0 && listener.session == CurrentSession())) {
            return;
        }
        listener.opening = true;
    }
    uint64_t session = 0;
    const int fd = ConnectToSession(Op::HelloWindows, &session);
    std::lock_guard<std::mutex> guard(listener.lock);
    listener.opening = false;
    if (fd < 0) {
        return;
    }
    try {
        std::thread(Listen, fd).detach();
    } catch (const std::system_error&) {
        close(fd);
        return;
    }
    listener.fd = fd;
    listener.session = session;
}

// A forked child is another program: it has no listener thread and opens its own listener.
void PrepareFork() {
    TheListener().lock.lock();
}

void ParentAfterFork() {
    TheListener().lock.unlock();
}

void ChildAfterFork() {
    Listener& listener = TheListener();
    if (listener.fd >= 0) {
        close(listener.fd);
    }
    listener.fd = -1;
    listener.session = 0;
    listener.opening = false;
    listener.lock.unlock();
}

[[maybe_unused]] const int kForkHandlers = pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork);

// A name as it is published: longer names cannot be matched by anyone and cross as null.
void PutName(Writer& request, const std::u16string& name) {
    if (name.size() <= kMaxWindowTextChars) {
        request.String(std::u16string_view(name));
    } else {
        request.String(static_cast<LPCWSTR>(nullptr));
    }
}

// Sends the call; true when the host answered with the fields of its reply.
bool Run(RemoteCall& call) {
    return call.Send() == ERROR_SUCCESS;
}

bool Shared() {
    return true;
}

bool PublishWindow(uint32_t window, const std::u16string& className, const std::u16string& title,
                   bool visible, uint32_t thread) {
    // A publish that finds its host gone is made again in the next host, which that starts: a window
    // must not stay unknown because its change came first after a reboot.
    const bool joined = CurrentSession() != 0;
    DWORD sent = kHostGoneError;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EnsureListener();
        RemoteCall call(Op::WindowPublish);
        call.request.U32(window);
        PutName(call.request, className);
        PutName(call.request, title);
        call.request.U32(visible ? 1 : 0);
        call.request.U32(thread);
        sent = call.Send();
        if (sent != kHostGoneError || !joined) {
            break;
        }
    }
    return sent != kHostGoneError;
}

void WithdrawWindow(uint32_t window) {
    if (CurrentSession() == 0) {
        return;
    }
    RemoteCall call(Op::WindowWithdraw);
    call.request.U32(window);
    Run(call);
}

// Longer names are published as null: no window has them.
bool Findable(LPCWSTR name) {
    return name == nullptr || std::char_traits<char16_t>::length(name) <= kMaxWindowTextChars;
}

ForeignId FindForeignWindow(LPCWSTR className, LPCWSTR title) {
    if (!Findable(className) || !Findable(title)) {
        return ForeignId{};
    }
    RemoteCall call(Op::WindowFind);
    call.request.String(className);
    call.request.String(title);
    if (!Run(call)) {
        return ForeignId{};
    }
    const uint64_t id = call.reply().U64();
    return call.reply().Complete() ? ForeignId{CurrentSession(), id} : ForeignId{};
}

ForeignState QueryForeignWindow(const ForeignId& window) {
    ForeignState state;
    if (window.session != CurrentSession()) {
        return state;
    }
    RemoteCall call(Op::WindowQuery);
    call.request.U64(window.id);
    if (!Run(call)) {
        return state;
    }
    Reader& reply = call.reply();
    const bool alive = reply.U32() != 0;
    const bool visible = reply.U32() != 0;
    bool isNull = true;
    std::u16string title = reply.String(&isNull, kMaxWindowTextChars);
    const uint32_t process = reply.U32();
    const uint32_t thread = reply.U32();
    if (reply.Complete()) {
        state = ForeignState{alive, visible, std::move(title), process, thread};
    }
    return state;
}

DWORD ShowForeignWindow(const ForeignId& window, int command, bool* wasVisible) {
    *wasVisible = false;
    if (window.session != CurrentSession()) {
        return ERROR_INVALID_WINDOW_HANDLE;
    }
    RemoteCall call(Op::WindowShow);
    call.request.U64(window.id);
    call.request.U32(static_cast<uint32_t>(command));
    const DWORD sent = call.Send();
    if (sent != ERROR_SUCCESS) {
        return sent;
    }
    const DWORD error = call.reply().U32();
    *wasVisible = call.reply().U32() != 0;
    return call.reply().Complete() ? error : static_cast<DWORD>(ERROR_INVALID_PARAMETER);
}

DWORD ForegroundForeignWindow(const ForeignId& window) {
    if (window.session != CurrentSession()) {
        return ERROR_INVALID_WINDOW_HANDLE;
    }
    RemoteCall call(Op::WindowForeground);
    call.request.U64(window.id);
    const DWORD sent = call.Send();
    if (sent != ERROR_SUCCESS) {
        return sent;
    }
    const DWORD error = call.reply().U32();
    return call.reply().Complete() ? error : static_cast<DWORD>(ERROR_INVALID_PARAMETER);
}

}  // namespace

const ui::DirectoryBackend kRemoteDirectory = {
    .shared = Shared,
    .publish = PublishWindow,
    .withdraw = WithdrawWindow,
    .session = CurrentSession,
    .find = FindForeignWindow,
    .query = QueryForeignWindow,
    .show = ShowForeignWindow,
    .foreground = ForegroundForeignWindow,
};

}  // namespace ce::remote
