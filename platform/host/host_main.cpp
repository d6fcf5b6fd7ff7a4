// The device host program's command line: run, stop, status.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <ceplatform.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/boot.h"
#include "host/server.h"
#include "kernel/wide_string.h"
#include "wire/device_dir.h"
#include "wire/hello.h"
#include "wire/host_connection.h"
#include "wire/wire.h"

namespace ce::host {

using namespace wire;
namespace {

// The readiness pipe a starting program hands over (see host_start.cpp).
constexpr int kReadyFd = 3;
constexpr auto kStopWait = std::chrono::seconds(15);
constexpr auto kStopPoll = std::chrono::milliseconds(20);
// A device's name and key in the status, at most.
constexpr size_t kMaxStatusTextChars = MAX_PATH;

int Usage() {
    std::fprintf(stderr,
                 "usage: cedevice run | stop | status\n"
                 "  run     serve the device in CE_DEVICE (or the default device) in the foreground\n"
                 "  stop    deactivate every device of the running host and end it\n"
                 "  status  say whether a host serves the device, and which devices it runs\n");
    return 2;
}

// Leaves the starting program: the host goes on in a child that is no session leader, so it never gets a
// terminal, and that holds nothing of its starter but the readiness pipe.
void Detach() {
    close_range(kReadyFd + 1, ~0U, 0);
    const pid_t child = fork();
    if (child != 0) {
        std::_Exit(child > 0 ? 0 : 1);
    }
}

int Run(const std::string& dir, bool detached) {
    const int readyFd = detached ? kReadyFd : -1;
    if (detached) {
        Detach();
        // Held until the start-up programs have run; they must not keep the starter waiting after that.
        fcntl(kReadyFd, F_SETFD, FD_CLOEXEC);
    }
    std::string problem;
    if (!MakePrivateDirectory(dir, &problem)) {
        std::fprintf(stderr, "cedevice: %s\n", problem.c_str());
        return 1;
    }
    // Start-up programs and anything else the host starts join this device.
    setenv(kDeviceVariable, dir.c_str(), 1);
    // Held for the host's life: two hosts never serve one device, and a free lock marks a dead host.
    const int lock = open(HostLockPath(dir).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
        std::fprintf(stderr, "cedevice: a host already serves %s\n", dir.c_str());
        return 1;
    }
    if (!BootRegistry(dir, &problem)) {
        std::fprintf(stderr, "cedevice: %s: cannot boot: %s\n", dir.c_str(), problem.c_str());
        return 1;
    }
    return ServeDevice(dir, readyFd);
}

Hello GreetControl(int fd) {
    Writer hello(Op::HelloControl);
    hello.U32(kProtocolVersion);
    return ExchangeHello(fd, hello);
}

// One request of a greeted control connection; false when the host does not answer it within timeoutMs
// (-1: however long it takes).
bool Control(int fd, Op op, std::vector<uint8_t>* reply, int timeoutMs) {
    Writer request(op);
    if (!SendMessage(fd, request.Finish())) {
        return false;
    }
    return MessageWithin(fd, timeoutMs) && ReceiveMessage(fd, reply) == Received::Message &&
           MessageOp(*reply) == op;
}

// Connects to dir's host for a control; -1 when none can be reached, after saying so. *unresponsive tells
// a host that lives but takes no connection from no host at all.
int ConnectForControl(const std::string& dir, bool* unresponsive) {
    const int fd = ConnectToHost(dir);
    *unresponsive = fd < 0 && errno == EAGAIN;
    if (*unresponsive) {
        std::printf("the host of %s takes no connection (is it stopped?)\n", dir.c_str());
    } else if (fd < 0) {
        std::printf("no host serves %s\n", dir.c_str());
    }
    return fd;
}

// Why the host would not take a control, in cedevice's words: the programs' hint to run "cedevice status"
// is no help here.
std::string ControlProblem(const Hello& hello, int fd, const std::string& dir) {
    if (hello.outcome == HelloOutcome::NoAnswer) {
        return "it did not answer within " + std::to_string(kHelloTimeoutMs / 1000) +
               " s (stopped, or overwhelmed)";
    }
    return HelloProblem(hello, fd, dir);
}

// The process at the other end of fd when it is this user's; 0 otherwise.
pid_t PeerOf(int fd) {
    pid_t pid = 0;
    uid_t uid = 0;
    return PeerCredentials(fd, &pid, &uid) && uid == geteuid() && pid > 0 ? pid : 0;
}

int Stop(const std::string& dir) {
    bool unresponsive = false;
    const int fd = ConnectForControl(dir, &unresponsive);
    if (fd < 0) {
        return unresponsive ? 1 : 0;
    }
    std::vector<uint8_t> reply;
    const Hello hello = GreetControl(fd);
    const bool greeted = hello.outcome == HelloOutcome::Accepted;
    // Stopping the devices takes as long as their drivers take.
    const bool answered = greeted && Control(fd, Op::Stop, &reply, -1);
    const pid_t other = !greeted && OfAnotherVersion(hello, fd, dir) ? PeerOf(fd) : 0;
    const std::string problem = greeted ? std::string() : ControlProblem(hello, fd, dir);
    close(fd);
    if (!greeted && other == 0) {
        if (hello.outcome == HelloOutcome::Ended && !HostRunning(dir)) {
            std::printf("no host serves %s\n", dir.c_str());
            return 0;
        }
        std::fprintf(stderr, "cedevice: cannot stop the host of %s: %s\n", dir.c_str(), problem.c_str());
        return 1;
    }
    if (!greeted) {
        // A host of another version (an earlier build still running) takes SIGTERM as the same clean stop.
        if (kill(other, SIGTERM) != 0) {
            std::fprintf(stderr, "cedevice: cannot stop host %d of %s: %s\n", static_cast<int>(other),
                         dir.c_str(), std::strerror(errno));
            return 1;
        }
        std::printf("host %d of %s is of another version: asked it to stop\n", static_cast<int>(other),
                    dir.c_str());
    } else if (!answered) {
        std::fprintf(stderr, "cedevice: the host of %s did not answer\n", dir.c_str());
        return 1;
    }
    // The host is gone once its lock is free.
    const auto deadline = std::chrono::steady_clock::now() + kStopWait;
    while (HostRunning(dir)) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "cedevice: the host of %s does not end\n", dir.c_str());
            return 1;
        }
        std::this_thread::sleep_for(kStopPoll);
    }
    std::printf("stopped the host of %s\n", dir.c_str());
    return 0;
}

int Status(const std::string& dir) {
    bool unresponsive = false;
    const int fd = ConnectForControl(dir, &unresponsive);
    if (fd < 0) {
        return unresponsive ? 1 : 3;
    }
    std::vector<uint8_t> reply;
    const Hello hello = GreetControl(fd);
    const bool greeted = hello.outcome == HelloOutcome::Accepted;
    const bool answered = greeted && Control(fd, Op::Status, &reply, kHelloTimeoutMs);
    const pid_t host = PeerOf(fd);
    const std::string problem = greeted ? std::string() : ControlProblem(hello, fd, dir);
    close(fd);
    if (!greeted && hello.outcome == HelloOutcome::Ended && !HostRunning(dir)) {
        std::printf("no host serves %s\n", dir.c_str());
        return 3;
    }
    if (!answered) {
        std::printf("host %d serves %s, but %s\n", static_cast<int>(host), dir.c_str(),
                    greeted ? "it does not answer (is it stopped?)" : problem.c_str());
        return 1;
    }
    Reader fields(reply);
    fields.U32();
    const uint32_t pid = fields.U32();
    const uint32_t sessions = fields.U32();
    const uint32_t devices = fields.U32();
    std::printf("host %u serves %s: %u programs, %u active devices\n", pid, dir.c_str(), sessions, devices);
    for (uint32_t i = 0; i < devices; ++i) {
        bool isNull = false;
        const std::u16string name = fields.String(&isNull, kMaxStatusTextChars);
        const std::u16string key = fields.String(&isNull, kMaxStatusTextChars);
        std::printf("  %-6s %s\n", ToUtf8(name).c_str(), ToUtf8(key).c_str());
    }
    return 0;
}

}  // namespace
}  // namespace ce::host

extern "C" int CeDeviceHostMain(int argc, char** argv) {
    ce::wire::BecomeHost();
    const std::string dir = ce::wire::ConfiguredDirectory();
    if (argc < 2) {
        return ce::host::Usage();
    }
    if (dir.empty()) {
        std::fprintf(stderr, "cedevice: no device: CE_DEVICE is \"none\" or there is no home directory\n");
        return 2;
    }
    const std::string command = argv[1];
    try {
        if (command == "run" && (argc == 2 || (argc == 3 && std::strcmp(argv[2], "--detached") == 0))) {
            return ce::host::Run(dir, argc == 3);
        }
        if (command == "stop" && argc == 2) {
            return ce::host::Stop(dir);
        }
        if (command == "status" && argc == 2) {
            return ce::host::Status(dir);
        }
    } catch (const std::exception& problem) {
        std::fprintf(stderr, "cedevice: %s\n", problem.what());
        return 1;
    }
    return ce::host::Usage();
}

const char* CeDeviceDirectory(void) {
    const std::string& dir = ce::wire::DeviceDirectory();
    return dir.empty() ? nullptr : dir.c_str();
}
