#include "host/server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <devload.h>
#include <winreg.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "devices/device_manager.h"
#include "host/boot.h"
#include "host/connection_budget.h"
#include "host/serve.h"
#include "host/session.h"
#include "host/window_directory.h"
#include "wire/call_region.h"
#include "wire/call_scheduling.h"
#include "wire/device_dir.h"
#include "wire/wire.h"

namespace ce::host {

using namespace wire;
namespace {

constexpr int kListenBacklog = 128;
// How long the accept loop leaves the socket alone after an accept failed for want of descriptors or
// memory: at once it would only fail again.
constexpr int kAcceptBackoffMs = 100;

// The sessions of the programs joined now, by token. Leaked: connection threads may outlive a stop.
class Sessions {
  public:
    std::shared_ptr<Session> Open(pid_t pid) {
        Token token{};
        if (getrandom(token.data(), token.size(), 0) != static_cast<ssize_t>(token.size())) {
            return nullptr;
        }
        auto session = std::make_shared<Session>(pid, token);
        std::lock_guard<std::mutex> guard(lock_);
        sessions_[token] = session;
        return session;
    }

    void Close(const std::shared_ptr<Session>& session) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            sessions_.erase(session->token());
        }
        session->End();
    }

    // The session a call connection joins: the token must match and the caller be the same process.
    std::shared_ptr<Session> Find(std::string_view token, pid_t pid) {
        if (token.size() != kTokenBytes) {
            return nullptr;
        }
        Token key{};
        std::memcpy(key.data(), token.data(), key.size());
        std::lock_guard<std::mutex> guard(lock_);
        auto found = sessions_.find(key);
        return found != sessions_.end() && found->second->pid() == pid ? found->second : nullptr;
    }

    size_t Count() {
        std::lock_guard<std::mutex> guard(lock_);
        return sessions_.size();
    }

  private:
    std::mutex lock_;
    std::map<Token, std::shared_ptr<Session>> sessions_;  // lock_
};

Sessions& TheSessions() {
    static Sessions* sessions = new Sessions;
    return *sessions;
}

struct ServerState {
    std::string socketPath;
    std::mutex stopLock;  // one stop at a time; the process ends inside it
};

ServerState& State() {
    static ServerState* state = new ServerState;
    return *state;
}

void Log(const char* format, const std::string& text) {
    std::fprintf(stderr, format, text.c_str());
    std::fflush(stderr);
}

// Stops the device: every device is deactivated (their drivers' Deinit runs) before the host ends.
[[noreturn]] void StopAndExit(int controlFd) {
    std::lock_guard<std::mutex> guard(State().stopLock);
    unlink(State().socketPath.c_str());
    DeviceManager::Instance().DeactivateAll();
    Log("cedevice: %s: stopped\n", DeviceDirectory());
    if (controlFd >= 0) {
        Writer reply(Op::Stop);
        reply.U32(0);
        SendMessage(controlFd, reply.Finish());
    }
    std::fflush(nullptr);
    std::_Exit(0);
}

struct ActiveDevice {
    std::u16string name;  // "COM5:"
    std::u16string key;   // the driver key it was started from
};

std::u16string ReadActiveText(HKEY key, LPCWSTR value) {
    WCHAR text[MAX_PATH + 1] = {};
    DWORD bytes = MAX_PATH * sizeof(WCHAR);
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return u"?";
    }
    return text;
}

// The devices the device manager runs, as it lists them under Drivers\Active.
std::vector<ActiveDevice> ActiveDevices() {
    std::vector<ActiveDevice> devices;
    HKEY active = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, DEVLOAD_ACTIVE_KEY, 0, KEY_READ, &active) != ERROR_SUCCESS) {
        return devices;
    }
    for (DWORD index = 0;; ++index) {
        WCHAR number[MAX_PATH];
        DWORD chars = MAX_PATH;
        if (RegEnumKeyExW(active, index, number, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        HKEY entry = nullptr;
        if (RegOpenKeyExW(active, number, 0, KEY_READ, &entry) == ERROR_SUCCESS) {
            devices.push_back({ReadActiveText(entry, DEVLOAD_DEVNAME_VALNAME),
                               ReadActiveText(entry, DEVLOAD_DEVKEY_VALNAME)});
            RegCloseKey(entry);
        }
    }
    RegCloseKey(active);
    return devices;
}

bool Reply(int fd, Writer& reply) {
    return SendMessage(fd, reply.Finish());
}

// A session connection carries nothing after its hello: its end is the program's exit.
void ServeSession(int fd, pid_t pid) {
    std::shared_ptr<Session> session = TheSessions().Open(pid);
    if (!session) {
        return;
    }
    // However the connection ends, the program is gone and its handles go with it.
    struct Closer {
        const std::shared_ptr<Session>& session;
        ~Closer() { TheSessions().Close(session); }
    } closer{session};
    Writer hello(Op::HelloSession);
    hello.U32(0);
    hello.Bytes(session->token().data(), kTokenBytes);
    if (Reply(fd, hello)) {
        std::vector<uint8_t> message;
        while (ReceiveMessage(fd, &message) == Received::Message) {
        }
    }
}

// The socket's own path: each request and reply a message over the connection. For programs whose
// connection has no shared memory.
void ServeCallsOverSocket(int fd, Session& session) {
    std::vector<uint8_t> request;
    ProcessorFollower follower;
    AdaptiveSpin requestWatch;
    // A malformed message ends the connection: what follows it cannot be told apart any more. A reply the
    // program is no longer there to take is dropped.
    for (;;) {
        // On the caller's processor a watch would only keep the caller from sending.
        if (!follower.OnCallersProcessor()) {
            WatchSocket(fd, requestWatch);
        }
        if (ReceiveMessage(fd, &request) != Received::Message) {
            return;
        }
        follower.Follow(MessageProcessor(request));
        if (!SendMessage(fd, Serve(session, request))) {
            return;
        }
        // A large request's buffer goes back once served: an idle connection keeps no more than a record.
        if (request.capacity() > kRecordBytes) {
            std::vector<uint8_t>().swap(request);
        }
    }
}

// How often a host thread with no request looks whether its program's end of the connection is gone (the
// program ends the region itself when it can; this is for one killed meanwhile).
constexpr std::chrono::milliseconds kIdleConnectionCheck{250};

// The shared memory's path: the program rings for each request in its region and the reply goes back the
// same way (call_region.h). Whatever ends this (the program gone, a malformed request, the socket broken)
// ends the region, so the program's thread never waits on it in vain.
void ServeCallsThroughRegion(int fd, Session& session, CallRegion& region) {
    RegionWords& words = region.words();
    std::vector<uint8_t> request;
    ProcessorFollower follower;
    AdaptiveSpin requestWatch;
    uint32_t served = 0;
    for (;;) {
        const CallRegion::Wait wait =
            region.Await(words.request, served, words.hostSleeps,
                         follower.OnCallersProcessor() ? nullptr : &requestWatch, kIdleConnectionCheck);
        if (wait == CallRegion::Wait::kEnded) {
            break;
        }
        if (wait == CallRegion::Wait::kTimedOut) {
            // A program rings before it sends a request too large for its area, so something on the socket
            // with no ring since is the connection's end (or junk, which ends it too).
            if (MessageWithin(fd, 0) &&
                (words.request.load(std::memory_order_seq_cst) & kCallNumberMask) == served) {
                break;
            }
            continue;
        }
        const uint32_t number = words.request.load(std::memory_order_acquire) & kCallNumberMask;
        if (!region.Take(CallRegion::Message::kRequest, fd, &request)) {
            break;
        }
        follower.Follow(MessageProcessor(request));
        words.hostProcessor.store(static_cast<uint32_t>(follower.bound() + 1), std::memory_order_relaxed);
        served = number;
        if (!region.Post(CallRegion::Message::kReply, number, Serve(session, request), fd)) {
            break;
        }
        if (request.capacity() > kRegionAreaBytes) {
            std::vector<uint8_t>().swap(request);
        }
    }
    region.End();
}

// A call connection's hello names the session; a memfd that came with it, if it is a proper region,
// carries the calls from here on.
void ServeCalls(int fd, const std::shared_ptr<Session>& session, int regionFd) {
    CallRegion region;
    if (regionFd >= 0) {
        CallRegion::Adopt(regionFd, &region);
        close(regionFd);
    }
    Writer hello(Op::HelloCall);
    hello.U32(0);
    hello.U32(region.valid() ? 1 : 0);
    if (!Reply(fd, hello)) {
        return;
    }
    if (region.valid()) {
        ServeCallsThroughRegion(fd, *session, region);
    } else {
        ServeCallsOverSocket(fd, *session);
    }
}

// A program's window listener: the host sends it requests for the program's windows; the program sends
// nothing, and the connection's end is the listener's. False when the program has a listener already.
bool ServeWindowListener(int fd, Session& session) {
    Writer hello(Op::HelloWindows);
    hello.U32(0);
    WindowDirectory& directory = WindowDirectory::Instance();
    if (!directory.Listen(session, fd, hello.Finish())) {
        return false;
    }
    std::vector<uint8_t> message;
    while (ReceiveMessage(fd, &message) == Received::Message) {
    }
    directory.StopListening(session, fd);
    return true;
}

void ServeControl(int fd) {
    Writer hello(Op::HelloControl);
    hello.U32(0);
    if (!Reply(fd, hello)) {
        return;
    }
    std::vector<uint8_t> request;
    while (ReceiveMessage(fd, &request) == Received::Message) {
        const Op op = MessageOp(request);
        if (op == Op::Stop) {
            StopAndExit(fd);
        }
        Writer reply(op);
        if (op != Op::Status) {
            reply.U32(ERROR_INVALID_PARAMETER);
        } else {
            reply.U32(0);
            reply.U32(static_cast<uint32_t>(getpid()));
            reply.U32(static_cast<uint32_t>(TheSessions().Count()));
            const std::vector<ActiveDevice> devices = ActiveDevices();
            reply.U32(static_cast<uint32_t>(devices.size()));
            for (const ActiveDevice& device : devices) {
                reply.String(std::u16string_view(device.name));
                reply.String(std::u16string_view(device.key));
            }
        }
        if (!Reply(fd, reply)) {
            return;
        }
    }
}

// Tells a connection the host will not serve why; never waits for the program to take it.
void SendRefusal(int fd, DWORD error) {
    Writer refusal(Op::Refused);
    refusal.U32(error);
    const std::vector<uint8_t>& message = refusal.Finish();
    send(fd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

// A connection's share of the budget, given back however the connection ends.
struct Admission {
    pid_t pid;
    bool program = false;
    ~Admission() { Budget().Leave(pid, program); }
};

// The hello, within its deadline: a connection that says nothing holds a descriptor and a thread for no
// longer. A descriptor the hello carried (a call region) goes to *passed; the caller closes it.
DWORD ReceiveHello(int fd, std::vector<uint8_t>* hello, int* passed) {
    if (!MessageWithin(fd, kHelloTimeoutMs)) {
        return ERROR_TIMEOUT;
    }
    return ReceiveMessage(fd, hello, kMaxHelloBytes, passed) == Received::Message ? ERROR_SUCCESS
                                                                                  : ERROR_INVALID_PARAMETER;
}

// A descriptor closed however its holder's scope ends, unless handed on.
struct PassedDescriptor {
    int fd = -1;
    ~PassedDescriptor() {
        if (fd >= 0) {
            close(fd);
        }
    }
    int Release() { return std::exchange(fd, -1); }
};

// Serves what the hello asks for; answers the refusal when it cannot.
DWORD ServeConnectionOf(int fd, Admission& admission) {
    std::vector<uint8_t> hello;
    PassedDescriptor region;
    if (const DWORD received = ReceiveHello(fd, &hello, &region.fd); received != ERROR_SUCCESS) {
        return received;
    }
    Reader fields(hello);
    const uint32_t version = fields.U32();
    const Op op = MessageOp(hello);
    const bool isHello =
        op == Op::HelloSession || op == Op::HelloCall || op == Op::HelloWindows || op == Op::HelloControl;
    if (!fields.ok() || !isHello) {
        return ERROR_INVALID_PARAMETER;
    }
    if (version != kProtocolVersion) {
        return ERROR_REVISION_MISMATCH;
    }
    if (op == Op::HelloControl) {
        if (!fields.Complete()) {
            return ERROR_INVALID_PARAMETER;
        }
        ServeControl(fd);
        return ERROR_SUCCESS;
    }
    if (const DWORD room = Budget().AdmitProgram(); room != ERROR_SUCCESS) {
        return room;
    }
    admission.program = true;
    if (op == Op::HelloSession) {
        if (!fields.Complete()) {
            return ERROR_INVALID_PARAMETER;
        }
        ServeSession(fd, admission.pid);
        return ERROR_SUCCESS;
    }
    const std::string_view token = fields.Bytes();
    std::shared_ptr<Session> session = fields.Complete() ? TheSessions().Find(token, admission.pid) : nullptr;
    if (!session) {
        return ERROR_INVALID_PARAMETER;
    }
    if (op == Op::HelloCall) {
        ServeCalls(fd, session, region.Release());
        return ERROR_SUCCESS;
    }
    return ServeWindowListener(fd, *session) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

// A connection that cannot go on (out of memory) ends alone; the host goes on.
void ServeConnection(int fd, pid_t pid) {
    {
        Admission admission{pid};
        try {
            if (const DWORD refusal = ServeConnectionOf(fd, admission); refusal != ERROR_SUCCESS) {
                SendRefusal(fd, refusal);
            }
        } catch (const std::exception& problem) {
            Log("cedevice: a connection ended: %s\n", problem.what());
        }
    }
    close(fd);
}

// Takes an accepted connection into the budget and onto a thread of its own, or refuses it.
void AdmitConnection(int fd) {
    pid_t pid = 0;
    uid_t uid = 0;
    // Only this user's programs are served; the directory's mode keeps others out already.
    DWORD refusal =
        PeerCredentials(fd, &pid, &uid) && uid == geteuid() ? Budget().Admit(pid) : ERROR_ACCESS_DENIED;
    if (refusal == ERROR_SUCCESS) {
        try {
            std::thread(ServeConnection, fd, pid).detach();
            return;
        } catch (const std::exception&) {
            Budget().Leave(pid, false);
            refusal = ERROR_NO_SYSTEM_RESOURCES;  // out of threads: this program's call fails, others go on
        }
    }
    SendRefusal(fd, refusal);
    close(fd);
}

// A descriptor kept free for the moment the host has none left: it takes the waiting connection, which is
// told why and ended, so that its program fails at once instead of waiting for ever.
class ReserveDescriptor {
  public:
    ReserveDescriptor() : fd_(Open()) {}

    void Shed(int listener) {
        if (fd_ >= 0) {
            close(fd_);
        }
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            SendRefusal(fd, ERROR_NO_SYSTEM_RESOURCES);
            close(fd);
        }
        fd_ = Open();
    }

  private:
    static int Open() { return open("/dev/null", O_RDONLY | O_CLOEXEC); }

    int fd_;
};

// Accepts one waiting connection; false when the accept failed in a way that calls for a pause.
bool AcceptConnection(int listener, ReserveDescriptor& reserve) {
    static bool shedding = false;
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        shedding = false;
        AdmitConnection(fd);
        return true;
    }
    if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED) {
        return true;
    }
    if (errno == EMFILE || errno == ENFILE) {
        if (!shedding) {
            Log("cedevice: %s: out of descriptors; refusing connections\n", DeviceDirectory());
        }
        shedding = true;
        reserve.Shed(listener);
    }
    return false;
}

int Listen(const std::string& path) {
    sockaddr_un address{};
    const int fd = OpenSocket(path, &address);
    if (fd < 0) {
        return -1;
    }
    // Whoever held the socket before is dead: this host holds the device's lock.
    unlink(path.c_str());
    const mode_t mask = umask(0077);
    const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    umask(mask);
    if (!bound || listen(fd, kListenBacklog) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace

int ServeDevice(const std::string& dir, int readyFd) {
    // Opened first, so that its number is below any limit the host could be held to.
    ReserveDescriptor reserve;
    State().socketPath = SocketPath(dir);
    // Stop signals are taken by the accept loop, so that a stop is the same clean stop as a command's.
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&stops, signal);
    }
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const int signals = signalfd(-1, &stops, SFD_CLOEXEC);
    const int listener = Listen(State().socketPath);
    if (listener < 0 || signals < 0) {
        Log("cedevice: cannot listen on %s\n", State().socketPath + ": " + std::strerror(errno));
        return 1;
    }
    Log("cedevice: %s: serving\n", dir);
    const char ready = 1;
    if (readyFd >= 0 && write(readyFd, &ready, 1) != 1) {
        Log("cedevice: %s: the starting program is gone\n", dir);
    }
    std::thread([readyFd] {
        RunStartUpPrograms();
        if (readyFd >= 0) {
            const char booted = 1;
            [[maybe_unused]] const ssize_t told = write(readyFd, &booted, 1);  // the starter may have gone on
            close(readyFd);
        }
    }).detach();
    pollfd waits[] = {{signals, POLLIN, 0}, {listener, POLLIN, 0}};
    bool pause = false;
    for (;;) {
        // During a pause only the stop signals are watched.
        const nfds_t watched = pause ? 1 : 2;
        const int polled = poll(waits, watched, pause ? kAcceptBackoffMs : -1);
        pause = false;
        if (polled < 0) {
            continue;
        }
        if (waits[0].revents != 0) {
            signalfd_siginfo info{};
            if (read(signals, &info, sizeof(info)) == sizeof(info)) {
                StopAndExit(-1);
            }
        }
        if (watched == 2 && waits[1].revents != 0) {
            pause = !AcceptConnection(listener, reserve);
        }
    }
}

}  // namespace ce::host
