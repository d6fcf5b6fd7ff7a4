#include "loop_posix.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t kReadChunk = 16 * 1024;

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

std::string ErrnoText(int error) {
    return std::strerror(error);
}

StopSignals::~StopSignals() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool StopSignals::Take(std::string* error) {
    std::signal(SIGPIPE, SIG_IGN);
    const sigset_t set = StopSet();
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) {
        *error = "cannot hold back the stop signals";
        return false;
    }
    fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) {
        *error = "cannot watch the stop signals: " + ErrnoText(errno);
        return false;
    }
    return true;
}

EventWakeup::EventWakeup() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

EventWakeup::~EventWakeup() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void EventWakeup::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof(one));  // a full counter wakes as well
}

void EventWakeup::Clear() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(fd_, &count, sizeof(count));
}

bool WaitForTurn(StopSignals& stops, EventWakeup& wakeup, pollfd* fds, size_t count, int timeoutMs) {
    constexpr size_t kOwnFds = 2;
    std::vector<pollfd> all(kOwnFds + count);
    all[0] = {stops.fd(), POLLIN, 0};
    all[1] = {wakeup.fd(), POLLIN, 0};
    std::copy(fds, fds + count, all.begin() + kOwnFds);
    while (poll(all.data(), all.size(), timeoutMs) < 0) {
        // EINTR: once more
    }
    if (all[0].revents != 0) {
        return false;
    }
    if (all[1].revents != 0) {
        wakeup.Clear();
    }
    std::copy(all.begin() + kOwnFds, all.end(), fds);
    return true;
}

Transfer ReadInto(int fd, LinkSession& session) {
    const size_t room = std::min(session.InputRoom(), kReadChunk);
    if (room == 0) {
        return Transfer::Blocked;
    }
    char buffer[kReadChunk];
    const ssize_t got = read(fd, buffer, room);
    if (got > 0) {
        session.Input(std::string_view(buffer, static_cast<size_t>(got)));
        return Transfer::Progress;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        return Transfer::Blocked;
    }
    return Transfer::Ended;
}

Transfer WriteFrom(int fd, LinkSession& session, bool socket) {
    const std::string_view output = session.Output();
    if (output.empty()) {
        return Transfer::Blocked;
    }
    const ssize_t sent = socket ? send(fd, output.data(), output.size(), MSG_NOSIGNAL)
                                : write(fd, output.data(), output.size());
    if (sent > 0) {
        session.OutputSent(static_cast<size_t>(sent));
        return Transfer::Progress;
    }
    if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
        return Transfer::Blocked;
    }
    return Transfer::Ended;
}
