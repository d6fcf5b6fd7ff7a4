#include "host/server.h"

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
#include <thread>

#include "devices/device_manager.h"
#include "host/boot.h"
#include "host/call_scheduling.h"
#include "host/device_dir.h"
#include "host/serve.h"
#include "host/session.h"
#include "host/window_directory.h"
#include "host/wire.h"

namespace ce::host {
namespace {

constexpr int kListenBacklog = 128;

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

DWORD ActiveDevices() {
    HKEY key = nullptr;
    DWORD count = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, DEVLOAD_ACTIVE_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
    }
    return count;
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

void ServeCalls(int fd, const std::shared_ptr<Session>& session) {
    Writer hello(Op::HelloCall);
    hello.U32(0);
    if (!Reply(fd, hello)) {
        return;
    }
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
        if (!SendMessage(fd, Serve(*session, request))) {
            return;
        }
        // A large request's buffer goes back once served: an idle connection keeps no more than a record.
        if (request.capacity() > kRecordBytes) {
            std::vector<uint8_t>().swap(request);
        }
    }
}

// A program's window listener: the host sends it requests for the program's windows; the program sends
// nothing, and the connection's end is the listener's.
void ServeWindowListener(int fd, Session& session) {
    Writer hello(Op::HelloWindows);
    hello.U32(0);
    WindowDirectory& directory = WindowDirectory::Instance();
    if (!directory.Listen(session, fd, hello.Finish())) {
        return;
    }
    std::vector<uint8_t> message;
    while (ReceiveMessage(fd, &message) == Received::Message) {
    }
    directory.StopListening(session, fd);
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
            reply.U32(ActiveDevices());
        }
        if (!Reply(fd, reply)) {
            return;
        }
    }
}

void ServeConnectionOf(int fd) {
    pid_t pid = 0;
    uid_t uid = 0;
    std::vector<uint8_t> hello;
    // Only this user's programs are served; the directory's mode keeps others out already.
    if (PeerCredentials(fd, &pid, &uid) && uid == geteuid() &&
        ReceiveMessage(fd, &hello) == Received::Message) {
        Reader fields(hello);
        const uint32_t version = fields.U32();
        const Op op = MessageOp(hello);
        if (version == kProtocolVersion) {
            if (op == Op::HelloSession && fields.Complete()) {
                ServeSession(fd, pid);
            } else if (op == Op::HelloCall || op == Op::HelloWindows) {
                const std::string_view token = fields.Bytes();
                std::shared_ptr<Session> session =
                    fields.Complete() ? TheSessions().Find(token, pid) : nullptr;
                if (session && op == Op::HelloCall) {
                    ServeCalls(fd, session);
                } else if (session) {
                    ServeWindowListener(fd, *session);
                }
            } else if (op == Op::HelloControl && fields.Complete()) {
                ServeControl(fd);
            }
        }
    }
}

// A connection that cannot go on (out of memory) ends alone; the host goes on.
void ServeConnection(int fd) {
    try {
        ServeConnectionOf(fd);
    } catch (const std::exception& problem) {
        Log("cedevice: a connection ended: %s\n", problem.what());
    }
    close(fd);
}

void StartConnection(int fd) {
    try {
        std::thread(ServeConnection, fd).detach();
    } catch (const std::exception&) {
        close(fd);  // out of threads: this program's call fails, the others go on
    }
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
    pollfd waits[] = {{listener, POLLIN, 0}, {signals, POLLIN, 0}};
    for (;;) {
        if (poll(waits, 2, -1) < 0) {
            continue;
        }
        if (waits[1].revents != 0) {
            signalfd_siginfo info{};
            if (read(signals, &info, sizeof(info)) == sizeof(info)) {
                StopAndExit(-1);
            }
        }
        if (waits[0].revents != 0) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                StartConnection(fd);
            }
        }
    }
}

}  // namespace ce::host
