#include "remote/client.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kernel/faults.h"
#include "remote/host_start.h"
#include "wire/call_region.h"
#include "wire/call_scheduling.h"
#include "wire/device_dir.h"
#include "wire/hello.h"
#include "wire/host_connection.h"

namespace ce::remote {

using namespace wire;
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

// The call regions of this process's threads, so that the watch of the session can end them all when the
// host dies. A region leaves the list before it is unmapped.
struct LiveRegion {
    CallRegion* region;
    uint64_t session;  // the session whose host serves it
    bool operator==(const LiveRegion&) const = default;
};

struct LiveRegions {
    std::mutex lock;
    std::vector<LiveRegion> regions;  // lock
};

LiveRegions& TheLiveRegions() {
    static LiveRegions* live = new LiveRegions;
    return *live;
}

// A thread's call connection; closed when the thread ends. Calls go through its region when the host took
// one, else over the socket.
struct Channel {
    int fd = -1;
    uint64_t session = 0;
    CallRegion region;
    uint32_t lastCall = 0;  // the number of the last request rung in the region
    pid_t owner = 0;        // the process that made the connection

    ~Channel() { Reset(); }
    void Reset() {
        // A forked child inherits neither the region (it is not mapped there) nor the right to end it.
        const bool own = owner == getpid();
        if (region.valid()) {
            {
                LiveRegions& live = TheLiveRegions();
                std::lock_guard<std::mutex> guard(live.lock);
                std::erase_if(live.regions, [&](const LiveRegion& entry) { return entry.region == &region; });
            }
            if (own) {
                region.End();
                region = CallRegion();
            } else {
                region.Forget();
            }
        }
        if (fd >= 0) {
            close(fd);
        }
        fd = -1;
        session = 0;
        lastCall = 0;
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

// Watches the session connection, which carries nothing after its hello: when it ends (the host is gone, or
// the program gave the session up), the session's call regions end with it, so a thread waiting on one fails
// at once; regions of a newer session are not this watch's.
void WatchSession(int fd, uint64_t session) {
    pollfd wait{fd, POLLIN, 0};
    while (poll(&wait, 1, -1) < 0 && errno == EINTR) {
    }
    LiveRegions& live = TheLiveRegions();
    {
        std::lock_guard<std::mutex> guard(live.lock);
        for (const LiveRegion& entry : live.regions) {
            if (entry.session == session) {
                entry.region->End();
            }
        }
    }
    close(fd);
}

void StartSessionWatch(int sessionFd, uint64_t session) {
    const int watched = fcntl(sessionFd, F_DUPFD_CLOEXEC, 0);
    if (watched < 0) {
        return;  // calls still find out, a moment later, when their wait for a reply times out
    }
    try {
        std::thread(WatchSession, watched, session).detach();
    } catch (const std::exception&) {
        close(watched);
    }
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
    StartSessionWatch(fd, session.id);
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
    // Shut down, not only closed: the session's watch holds a duplicate, and the host must see the end.
    shutdown(session.fd, SHUT_RDWR);
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
DWORD OpenCallConnection(uint64_t id, const Token& token, Channel* channel) {
    int fd = ConnectToHost(DeviceDirectory());
    if (fd < 0) {
        if (errno == EAGAIN) {
            WarnOnce("the device host takes no connection (is it stopped? \"cedevice status\" tells)");
        } else {
            SessionBroken(id);
        }
        return kHostGoneError;
    }
    // Without shared memory (or with the fault point armed) the connection carries its calls itself.
    CallRegion region;
    int regionFd = -1;
    DWORD fault = ERROR_SUCCESS;
    if (!FaultFires(FaultPoint::CallRegion, &fault) && CallRegion::Create(&region, &regionFd)) {
        region.KeepFromChildren();
    }
    Writer request(Op::HelloCall);
    request.U32(kProtocolVersion);
    request.Bytes(token.data(), kTokenBytes);
    const Hello hello = ExchangeHello(fd, request, regionFd);
    if (regionFd >= 0) {
        close(regionFd);
    }
    if (hello.outcome == HelloOutcome::Accepted) {
        Reader fields(hello.reply);
        fields.U32();
        const bool regionTaken = fields.U32() == 1 && fields.Complete();
        channel->fd = fd;
        channel->session = id;
        channel->owner = getpid();
        channel->lastCall = 0;
        if (regionTaken && region.valid()) {
            channel->region = std::move(region);
            LiveRegions& live = TheLiveRegions();
            std::lock_guard<std::mutex> guard(live.lock);
            live.regions.push_back({&channel->region, id});
        }
        return ERROR_SUCCESS;
    }
    const bool refusedForNow = hello.outcome == HelloOutcome::Refused &&
                               (hello.error == ERROR_NOT_ENOUGH_QUOTA ||
                                hello.error == ERROR_NO_SYSTEM_RESOURCES || hello.error == ERROR_TIMEOUT);
    if (refusedForNow || hello.outcome == HelloOutcome::NoAnswer) {
        WarnOnce(HelloProblem(hello, fd, DeviceDirectory()));
    } else {
        SessionBroken(id);
    }
    close(fd);
    return refusedForNow ? hello.error : kHostGoneError;
}

// How long a program's thread sleeps on its reply before it looks whether the host is still there; the
// watch of the session ends the wait at once when the host dies, this is for a watch that could not start.
constexpr std::chrono::milliseconds kReplyCheck{1000};

// Whether the host is gone: its end of the session connection is closed.
bool HostGone() {
    Session& session = TheSession();
    std::lock_guard<std::mutex> guard(session.lock);
    return session.fd < 0 || MessageWithin(session.fd, 0);
}

// One call through the channel's region: the request in its area (or, too large, over the socket), the ring,
// the wait for the reply and the reply taken out of its area (or off the socket). False when the host or the
// connection broke.
bool CallThroughRegion(Channel& channel, const std::vector<uint8_t>& request, uint16_t processor,
                       std::vector<uint8_t>* reply, AdaptiveSpin& replyWatch) {
    CallRegion& region = channel.region;
    RegionWords& words = region.words();
    const uint32_t number = (channel.lastCall + 1) & kCallNumberMask;
    if (!region.Post(CallRegion::Message::kRequest, number, request, channel.fd)) {
        return false;
    }
    // A host thread bound to this thread's processor runs only once this thread gives the processor up.
    const bool sharesProcessor =
        processor != 0 && words.hostProcessor.load(std::memory_order_relaxed) == processor;
    AdaptiveSpin* watch = sharesProcessor ? nullptr : &replyWatch;
    for (;;) {
        const CallRegion::Wait wait =
            region.Await(words.reply, channel.lastCall, words.programSleeps, watch, kReplyCheck);
        if (wait == CallRegion::Wait::kRang) {
            break;
        }
        if (wait == CallRegion::Wait::kEnded || HostGone()) {
            return false;
        }
        watch = nullptr;  // a call this slow is no longer watched for
    }
    if ((words.reply.load(std::memory_order_acquire) & kCallNumberMask) != number) {
        return false;
    }
    channel.lastCall = number;
    return region.Take(CallRegion::Message::kReply, channel.fd, reply);
}

// A forked child has the parent's connections but is not the parent: it starts its own session.
void PrepareFork() {
    TheSession().lock.lock();
    TheLiveRegions().lock.lock();
}

void ParentAfterFork() {
    TheLiveRegions().lock.unlock();
    TheSession().lock.unlock();
}

// The parent's regions are not mapped in the child (KeepFromChildren), and its threads are not there.
void ChildAfterFork() {
    TheLiveRegions().regions.clear();
    TheLiveRegions().lock.unlock();
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
        if (const DWORD opened = OpenCallConnection(id, token, &channel); opened != ERROR_SUCCESS) {
            return opened;
        }
    }
    const Op op = MessageOp(request.Finish());
    const uint16_t processor = CallerProcessor();
    request.SetProcessor(processor);
    // Most calls are answered within microseconds; watching for the reply keeps this thread on its
    // processor, where the host's thread serving it runs (call_scheduling.h).
    thread_local AdaptiveSpin replyWatch(kLongestReplyWatch);
    const bool answered = channel.region.valid()
                              ? CallThroughRegion(channel, request.Finish(), processor, reply, replyWatch)
                              : SendMessage(channel.fd, request.Finish()) &&
                                    WatchSocket(channel.fd, replyWatch) &&
                                    ReceiveMessage(channel.fd, reply) == Received::Message;
    if (!answered || MessageOp(*reply) != op) {
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

}  // namespace ce::remote
