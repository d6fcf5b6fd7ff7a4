#include "remote/host_start.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "wire/device_dir.h"
#include "wire/host_connection.h"
#include "wire/wire.h"

extern char** environ;

namespace ce::remote {

using namespace wire;
namespace {

constexpr int kStartTimeoutMs = 5000;
// How long the program that started the host waits for the start-up programs, beyond which it goes on.
constexpr int kBootTimeoutMs = 15000;
// The readiness pipe's end in the started host (see host_main.cpp).
constexpr int kReadyFd = 3;

// 1 when the readiness pipe gave a byte within timeoutMs, 0 when it gave none in time, -1 when it ended.
int ReadReadyByte(int fd, int timeoutMs) {
    pollfd waiting{fd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        const int polled = poll(&waiting, 1, left > 0 ? static_cast<int>(left) : 0);
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        char byte = 0;
        if (polled > 0 && read(fd, &byte, 1) == 1) {
            return 1;
        }
        return polled == 0 ? 0 : -1;
    }
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

bool Executable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

// The host's environment: this program's, with CE_DEVICE naming the device in absolute terms.
std::vector<std::string> HostEnvironment(const std::string& dir) {
    std::vector<std::string> variables;
    const std::string prefix = std::string(kDeviceVariable) + "=";
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0) {
            variables.emplace_back(*entry);
        }
    }
    variables.push_back(prefix + dir);
    return variables;
}

// Runs "<host> run --detached" in a session of its own, its output going to the device's host.log, and
// waits until it serves or gives up.
bool StartHost(const std::string& dir, std::string* problem) {
    const std::string program = HostProgram();
    if (!Executable(program)) {
        *problem = "the host program " + program + " cannot be run (set CE_HOST_PROGRAM)";
        return false;
    }
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        *problem = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    FileDescriptor readEnd(ready[0]);
    const std::string log = LogPath(dir);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_adddup2(&actions, ready[1], kReadyFd);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> variables = HostEnvironment(dir);
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    std::string argv0 = program;
    std::string run = "run";
    std::string detached = "--detached";
    char* argv[] = {argv0.data(), run.data(), detached.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(ready[1]);
    if (spawned != 0) {
        *problem = "cannot start " + program + ": " + std::strerror(spawned);
        return false;
    }
    // The started program leaves its host behind and exits at once.
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const int listening = ReadReadyByte(readEnd.get(), kStartTimeoutMs);
    if (listening != 1) {
        *problem = listening == 0 ? "the device host did not start in time (see " + log + ")"
                                  : "the device host could not start (see " + log + ")";
        return false;
    }
    // The device boots on: its start-up programs (which start the kept ports) run before this program's
    // first call, as on a device that starts its programs after its drivers. One that takes too long is
    // left to finish on its own.
    ReadReadyByte(readEnd.get(), kBootTimeoutMs);
    return true;
}

}  // namespace

namespace {

// The words for a host that lives but takes no connection.
std::string NotTakingConnections() {
    return "the device host takes no connection within " + std::to_string(kHelloTimeoutMs / 1000) +
           " s (is it stopped? \"cedevice status\" tells)";
}

}  // namespace

int ConnectOrStartHost(const std::string& dir, std::string* problem) {
    int fd = ConnectToHost(dir);
    if (fd >= 0) {
        return fd;
    }
    if (errno == EAGAIN) {
        *problem = NotTakingConnections();
        return -1;
    }
    if (SocketPath(dir).size() >= sizeof(sockaddr_un::sun_path)) {
        *problem = "the device directory's path is too long for a socket: " + dir;
        return -1;
    }
    if (!MakePrivateDirectory(dir, problem)) {
        return -1;
    }
    FileDescriptor lock(open(StartLockPath(dir).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.get() < 0 || flock(lock.get(), LOCK_EX) != 0) {
        *problem = "cannot lock " + StartLockPath(dir) + ": " + std::strerror(errno);
        return -1;
    }
    // Another program may have started the host while this one waited for the lock.
    fd = ConnectToHost(dir);
    if (fd >= 0 || errno == EAGAIN) {
        if (fd < 0) {
            *problem = NotTakingConnections();
        }
        return fd;
    }
    if (!StartHost(dir, problem)) {
        return -1;
    }
    fd = ConnectToHost(dir);
    if (fd < 0) {
        *problem = "the device host started but does not answer: " + std::string(std::strerror(errno));
    }
    return fd;
}

std::string HostProgram() {
    if (const char* program = std::getenv("CE_HOST_PROGRAM"); program != nullptr && *program != '\0') {
        return program;
    }
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&HostProgram), &info) == 0 || info.dli_fname == nullptr) {
        return "cedevice";
    }
    const std::string library(info.dli_fname);
    const size_t slash = library.rfind('/');
    const std::string libraryDir = slash == std::string::npos ? "." : library.substr(0, slash);
    // The install's own layout first (lib/<multiarch> puts bin two levels up), then the build tree's.
    for (const char* relative : {CE_HOST_PROGRAM_FROM_LIBDIR, "../bin"}) {
        std::string candidate = libraryDir + "/" + relative + "/cedevice";
        if (Executable(candidate)) {
            return candidate;
        }
    }
    return libraryDir + "/../bin/cedevice";
}

}  // namespace ce::remote
