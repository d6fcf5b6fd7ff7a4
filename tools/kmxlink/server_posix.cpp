#include "server_posix.h"

#include <cerrno>
#include <memory>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "say.h"

namespace {

constexpr int kBacklog = 4;
constexpr int kReadsPerTurn = 4;
// A client that vanishes without a word (its machine off, the network gone) is noticed and lets the port go:
// after a minute of silence, probes every 10 s, three unanswered; and sent data unacknowledged for 60 s.
constexpr int kKeepIdleSeconds = 60;
constexpr int kKeepIntervalSeconds = 10;
constexpr int kKeepProbes = 3;
constexpr unsigned kUnacknowledgedMs = 60 * 1000;

void SetOption(int fd, int level, int name, int value) {
    setsockopt(fd, level, name, &value, sizeof(value));
}

std::string PeerName(const sockaddr_storage& peer) {
    char host[NI_MAXHOST] = "?";
    char service[NI_MAXSERV] = "?";
    getnameinfo(reinterpret_cast<const sockaddr*>(&peer), sizeof(peer), host, sizeof(host), service,
                sizeof(service), NI_NUMERICHOST | NI_NUMERICSERV);
    return peer.ss_family == AF_INET6 ? "[" + std::string(host) + "]:" + service
                                      : std::string(host) + ":" + service;
}

// A listening socket on address:port; -1 with *error.
int Listen(const ServerPlan& plan, std::string* shownAs, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(plan.tcpPort);
    if (const int failure = getaddrinfo(plan.address.c_str(), service.c_str(), &hints, &found);
        failure != 0) {
        *error = plan.address + ": " + gai_strerror(failure);
        return -1;
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, freeaddrinfo);
    const std::string wanted = plan.address + ":" + service;
    const int fd = socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = wanted + ": " + ErrnoText(errno);
        return -1;
    }
    SetOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    if (bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, kBacklog) != 0) {
        *error = wanted + ": " + (errno == EADDRINUSE ? "address in use" : ErrnoText(errno));
        close(fd);
        return -1;
    }
    sockaddr_storage bound{};
    socklen_t size = sizeof(bound);
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size);
    *shownAs = PeerName(bound);
    return fd;
}

class ServerLoop {
  public:
    ServerLoop(const ServerPlan& plan, int listener, EventWakeup& wakeup)
        : plan_(plan), listener_(listener), wakeup_(wakeup) {}

    ~ServerLoop() { Drop("kmxlink ends"); }

    void Run(StopSignals& stops) {
        for (;;) {
            pollfd fds[] = {{listener_, POLLIN, 0}, {client_, ClientEvents(), 0}};
            if (!WaitForTurn(stops, wakeup_, fds, std::size(fds))) {
                return;
            }
            if (fds[0].revents != 0) {
                Accept();
            }
            if (session_ && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                Receive();
            }
            if (session_ && (fds[1].revents & (POLLHUP | POLLERR)) != 0) {
                Drop("client " + peerName_ + " gone");  // reset, or shut both ways: nothing more to send
            }
            if (session_) {
                Send();
            }
            std::string why;
            if (session_ && session_->PortFailed(&why)) {
                Drop(why);
            }
        }
    }

  private:
    short ClientEvents() {
        if (!session_) {
            return 0;
        }
        return static_cast<short>((session_->InputRoom() != 0 ? POLLIN : 0) |
                                  (!session_->Output().empty() ? POLLOUT : 0));
    }

    void Accept() {
        sockaddr_storage peer{};
        socklen_t size = sizeof(peer);
        const int fd =
            accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;  // gone before we took it, or out of descriptors: the next connection tries again
        }
        const std::string name = PeerName(peer);
        if (session_) {
            Refuse(fd, plan_.portName + " is in use by another client");
            Say("refused " + name + ": " + plan_.portName + " is in use by " + peerName_);
            return;
        }
        std::string error;
        session_ = plan_.open(wakeup_, &error);
        if (!session_) {
            Refuse(fd, error);
            Say("refused " + name + ": " + error);
            return;
        }
        SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
        SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
        SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleSeconds);
        SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalSeconds);
        SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepProbes);
        SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(kUnacknowledgedMs));
        client_ = fd;
        peerName_ = name;
        Say("client " + name + " connected: " + plan_.portName + " open");
    }

    // One line a person or a script can read, then the end of the connection.
    static void Refuse(int fd, const std::string& why) {
        const std::string line = "kmxlink: " + why + "\r\n";
        [[maybe_unused]] const ssize_t sent = send(fd, line.data(), line.size(), MSG_NOSIGNAL);
        close(fd);
    }

    // A few reads at a time, so that a client that sends without pause does not keep us from sending.
    void Receive() {
        for (int read = 0; read < kReadsPerTurn; ++read) {
            const Transfer transfer = ReadInto(client_, *session_);
            if (transfer == Transfer::Ended) {
                session_->Finish();
                Drop("client " + peerName_ + " left");
                return;
            }
            if (transfer == Transfer::Blocked) {
                return;
            }
        }
    }

    void Send() {
        for (;;) {
            const Transfer transfer = WriteFrom(client_, *session_, true);
            if (transfer == Transfer::Ended) {
                Drop("client " + peerName_ + " gone");
                return;
            }
            if (transfer == Transfer::Blocked) {
                return;
            }
        }
    }

    void Drop(const std::string& why) {
        if (!session_) {
            return;
        }
        session_.reset();
        close(client_);
        client_ = -1;
        Say(why + ": " + plan_.portName + " closed");
    }

    const ServerPlan& plan_;
    const int listener_;
    EventWakeup& wakeup_;
    std::unique_ptr<LinkSession> session_;
    int client_ = -1;
    std::string peerName_;
};

}  // namespace

bool RunServer(const ServerPlan& plan, StopSignals& stops, std::string* error) {
    EventWakeup wakeup;
    if (!wakeup.ok()) {
        *error = "cannot make an event descriptor: " + ErrnoText(errno);
        return false;
    }
    std::string shownAs;
    const int listener = Listen(plan, &shownAs, error);
    if (listener < 0) {
        return false;
    }
    Say(plan.portName + " on " + shownAs);
    {
        ServerLoop loop(plan, listener, wakeup);
        loop.Run(stops);
    }
    close(listener);
    return true;
}
