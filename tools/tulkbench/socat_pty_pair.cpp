#include "socat_pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "child_process.h"

namespace {

using Clock = std::chrono::steady_clock;

// socat names its PTYs and starts its transfer loop at once; longer means it is stuck.
constexpr auto kStartDeadline = std::chrono::seconds(5);
constexpr const char* kPtyIs = " PTY is ";
constexpr const char* kTransferStarts = "starting data transfer loop";
constexpr size_t kMessageChunk = 512;

class SocatProcess : public CpuClock {
  public:
    // Owns the read end of socat's messages, which stays open so that its last words never meet a
    // closed pipe.
    SocatProcess(int pid, int messages) : pid_(pid), messages_(messages) {}
    ~SocatProcess() override {
        kill(pid_, SIGTERM);
        WaitForProgram(pid_);
        close(messages_);
    }
    SocatProcess(const SocatProcess&) = delete;
    SocatProcess& operator=(const SocatProcess&) = delete;

    double Ms() override { return ProcessCpuMs(pid_); }

  private:
    int pid_;
    int messages_;
};

// The next line socat writes; false when it ends or the deadline passes first.
bool NextLine(int messages, Clock::time_point deadline, std::string* pending, std::string* line) {
    for (;;) {
        if (const size_t end = pending->find('\n'); end != std::string::npos) {
            *line = pending->substr(0, end);
            pending->erase(0, end + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd ready{messages, POLLIN, 0};
        if (left.count() <= 0) {
            return false;
        }
        const int polled = poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        char chunk[kMessageChunk];
        const ssize_t n = polled > 0 ? read(messages, chunk, sizeof(chunk)) : 0;
        if (n <= 0) {
            return false;
        }
        pending->append(chunk, static_cast<size_t>(n));
    }
}

}  // namespace

SocatPtys StartSocatPtys() {
    SocatPtys pair;
    int messages[2] = {-1, -1};
    if (pipe2(messages, O_CLOEXEC) != 0) {
        pair.problem = std::string("no pipe for socat's messages: ") + std::strerror(errno);
        return pair;
    }
    const int pid = StartProgram({"socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"},
                                 {{messages[1], STDERR_FILENO}});
    const int startError = errno;
    close(messages[1]);
    if (pid < 0) {
        close(messages[0]);
        pair.problem = startError == ENOENT ? "socat is not on PATH (scripts/install-deps installs it)"
                                            : std::string("cannot start socat: ") + std::strerror(startError);
        return pair;
    }
    auto process = std::make_unique<SocatProcess>(pid, messages[0]);
    const Clock::time_point deadline = Clock::now() + kStartDeadline;
    std::vector<std::string> ptys;
    std::string pending, line, last;
    while (NextLine(messages[0], deadline, &pending, &line)) {
        if (const size_t at = line.find(kPtyIs); at != std::string::npos) {
            ptys.push_back(line.substr(at + std::strlen(kPtyIs)));
        } else if (line.find(kTransferStarts) != std::string::npos && ptys.size() == 2) {
            pair.paths[0] = ptys[0];
            pair.paths[1] = ptys[1];
            pair.process = std::move(process);
            return pair;
        }
        last = line;
    }
    pair.problem = "socat did not join two PTYs" + (last.empty() ? std::string() : ": " + last);
    return pair;
}
