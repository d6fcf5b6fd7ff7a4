#include "remote/client.h"

#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "remote/host_start.h"
#include "wire/call_scheduling.h"
#include "wire/device_dir.h"
#include "wire/hello.h"
#include "wire/host_connection.h"

namespace ce::host {
namespace {

using Token = std::array<uint8_t, kTokenBytes>;

// Lock order: the session lock is taken alone; no call is made under it but the joining of a host.
struct Session {
    std::mutex lock;
    int fd = -1;      // session lock
    Token token{};    // session lock
    uint64_t id = 0;  // session lock; also published in current
    std::atomic<uint64_t> current{0};
    uint64_t lastId = 0;  // session lock: ids are never reused, even across a fork
};

Session& TheSession() {
    static Session* session = new Session;
    return *session;
}

// A thread's call connection; closed when the thread ends.
struct Channel {
    int fd = -1;
    uint64_t session = 0;

    ~Channel() { Reset(); }
    void Reset() {
        if (fd >= 0) {
            close(fd);
        }
        fd = -1;
        session = 0;
    }
};

thread_local Channel t_channel;

void Warn(const std::string& text) {
    std::fprintf(stderr, "ceplatform: device %s: %s\n", DeviceDirectory().c_str(), text.c_str());
}

// Says a problem once: the same problem met by thread after thread makes one line.
void WarnOnce(const std::string& text) {
    static std::mutex lock;
    static std::string* last = new std::string;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (*last == text) {
            return;
        }
        *last = text;
    }
    Warn(text);
}

// Exchanges a hello on a fresh connection, naming the session when token is given.
Hello Greet(int fd, Op op, const Token* token) {
    Writer request(op);
    request.U32(kProtocolVersion);
    if (token != nullptr) {
        request.Bytes(token->data(), kTokenBytes);
    }
    return ExchangeHello(fd, request);
}

// The session token a session hello's answer carries.
bool TakeToken(const Hello& hello, Token* token) {
    Reader fields(hello.reply);
    fields.U32();
    const std::string_view bytes = fields.Bytes();
    if (!fields.Complete() || bytes.size() != kTokenBytes) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), token->begin());
    return true;
}

// Set while this thread may only join a running host (HostStartRefused).
thread_local bool t_hostStartRefused = false;

// The session to call in, joining (or starting) the host when there is none. 0 when none can be had.
uint64_t EnsureSession(Token* token) {
    Session& session = TheSession();
    std::lock_guard<std::mutex> guard(session.lock);
    if (session.fd >= 0) {
        *token = session.token;
        return session.id;
    }
    std::string problem;
    const int fd = t_hostStartRefused ? ConnectToHost(DeviceDirectory())
                                      : ConnectOrStartHost(DeviceDirectory(), &problem);
    if (fd < 0) {
        if (!t_hostStartRefused) {
            Warn(problem);
        }
        return 0;
    }
    const Hello hello = Greet(fd, Op::HelloSession, nullptr);
    if (hello.outcome != HelloOutcome::Accepted || !TakeToken(hello, &session.token)) {
        Warn(HelloProblem(hello, fd, DeviceDirectory()));
        close(fd);
        return 0;
    }
    session.fd = fd;
    session.id = ++session.lastId;
    session.current.store(session.id, std::memory_order_release);
    *token = session.token;
    return session.id;
}

// Forgets a session whose host went away, once, whichever thread finds out first.
void SessionBroken(uint64_t id) {
    Session& session = TheSession();
    std::lock_guard<std::mutex> guard(session.lock);
    if (session.id != id || session.fd < 0) {
        return;
    }
    close(session.fd);
    session.fd = -1;
    session.id = 0;
    session.current.store(0, std::memory_order_release);
    Warn("the device host is gone; the next call starts the device again");
}

// Opens a new call connection of session id into *fd; answers ERROR_SUCCESS or the error the call fails
// with. A host that refuses the connection, or lives but does not answer, fails this call alone and keeps
// the session: its handles stay valid for the threads that have connections, and for the next try. A host
// that is gone ends the session.
DWORD OpenCallConnection(uint64_t id, const Token& token, int* fd) {
    *fd = ConnectToHost(DeviceDirectory());
    if (*fd < 0) {
        if (errno == EAGAIN) {
            WarnOnce("the device host takes no connection (is it stopped? \"cedevice status\" tells)");
        } else {
            SessionBroken(id);
        }
        return kHostGoneError;
    }
    const Hello hello = Greet(*fd, Op::HelloCall, &token);
    if (hello.outcome == HelloOutcome::Accepted) {
        return ERROR_SUCCESS;
    }
    const bool refusedForNow = hello.outcome == HelloOutcome::Refused &&
                               (hello.error == ERROR_NOT_ENOUGH_QUOTA ||
                                hello.error == ERROR_NO_SYSTEM_RESOURCES || hello.error == ERROR_TIMEOUT);
    if (refusedForNow || hello.outcome == HelloOutcome::NoAnswer) {
        WarnOnce(HelloProblem(hello, *fd, DeviceDirectory()));
    } else {
        SessionBroken(id);
    }
    close(*fd);
    *fd = -1;
    return refusedForNow ? hello.error : kHostGoneError;
}

// A forked child has the parent's connections but is not the parent: it starts its own session.
void PrepareFork() {
    TheSession().lock.lock();
}

void ParentAfterFork() {
    TheSession().lock.unlock();
}

void ChildAfterFork() {
    Session& session = TheSession();
    if (session.fd >= 0) {
        close(session.fd);
    }
    session.fd = -1;
    session.id = 0;
    session.current.store(0, std::memory_order_relaxed);
    session.lock.unlock();
}

[[maybe_unused]] const int kForkHandlers = pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork);

}  // namespace

HostStartRefused::HostStartRefused() : refusedBefore_(t_hostStartRefused) {
    t_hostStartRefused = true;
}

HostStartRefused::~HostStartRefused() {
    t_hostStartRefused = refusedBefore_;
}

DWORD Call(Writer& request, std::vector<uint8_t>* reply) {
    if (request.size() > kMaxMessageBytes) {
        return ERROR_INVALID_PARAMETER;
    }
    Token token{};
    const uint64_t id = EnsureSession(&token);
    if (id == 0) {
        return kHostGoneError;
    }
    Channel& channel = t_channel;
    if (channel.session != id) {
        channel.Reset();
        int fd = -1;
        if (const DWORD opened = OpenCallConnection(id, token, &fd); opened != ERROR_SUCCESS) {
            return opened;
        }
        channel.fd = fd;
        channel.session = id;
    }
    const Op op = MessageOp(request.Finish());
    request.SetProcessor(CallerProcessor());
    // Most calls are answered within microseconds; watching for the reply keeps this thread on its
    // processor, where the host's thread serving it runs (call_scheduling.h).
    thread_local AdaptiveSpin replyWatch(kLongestReplyWatch);
    if (!SendMessage(channel.fd, request.Finish()) || !WatchSocket(channel.fd, replyWatch) ||
        ReceiveMessage(channel.fd, reply) != Received::Message || MessageOp(*reply) != op) {
        channel.Reset();
        SessionBroken(id);
        return kHostGoneError;
    }
    // The host refused a request it could not take: a bug of this side, reported as the host reports it.
    Reader fields(*reply);
    const uint32_t refusal = fields.U32();
    return fields.ok() ? refusal : static_cast<DWORD>(ERROR_INVALID_PARAMETER);
}

int ConnectToSession(Op hello, uint64_t* session) {
    Token token{};
    *session = EnsureSession(&token);
    if (*session == 0) {
        return -1;
    }
    // A refusal here says nothing of the session: the next call finds out whether the host is gone.
    const int fd = ConnectToHost(DeviceDirectory());
    if (fd >= 0 && Greet(fd, hello, &token).outcome != HelloOutcome::Accepted) {
        close(fd);
        return -1;
    }
    return fd;
}

Reader ReplyFields(const std::vector<uint8_t>& reply) {
    Reader fields(reply);
    fields.U32();
    return fields;
}

uint64_t CurrentSession() {
    return TheSession().current.load(std::memory_order_acquire);
}

}  // namespace ce::host
