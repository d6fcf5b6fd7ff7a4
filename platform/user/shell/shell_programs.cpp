#include "user/shell/shell_programs.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ce::ui {
namespace {

constexpr int kExecFailedStatus = 127;
constexpr const char* kDefaultPath = "/usr/bin:/bin";
// The keys a program in the terminal answers itself, as system() leaves them to its command.
constexpr int kTerminalKeySignals[] = {SIGINT, SIGQUIT};

bool Runnable(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

void WaitForChild(pid_t child, int* status) {
    while (waitpid(child, status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

std::string FindProgram(const std::string& name) {
    if (name.empty()) {
        return std::string();
    }
    if (name.find('/') != std::string::npos) {
        return Runnable(name) ? name : std::string();
    }
    const char* path = std::getenv("PATH");
    const std::string directories = path != nullptr ? path : kDefaultPath;
    size_t start = 0;
    while (start <= directories.size()) {
        const size_t end = directories.find(':', start);
        const std::string directory =
            directories.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!directory.empty() && Runnable(directory + "/" + name)) {
            return directory + "/" + name;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return std::string();
}

// The intermediate child exits at once and is reaped here, so nothing is left behind.
bool LaunchDetached(const std::string& program, const std::string& argument) {
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) {
        return false;
    }
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()),
                               nullptr};
    const pid_t child = fork();
    if (child < 0) {
        close(devNull);
        return false;
    }
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            dup2(devNull, STDIN_FILENO);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
            execv(program.c_str(), argv.data());
            _exit(kExecFailedStatus);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(devNull);
    int status = 0;
    WaitForChild(child, &status);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool RunInTerminal(const std::string& program, const std::string& argument) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction previous[std::size(kTerminalKeySignals)];
    for (size_t i = 0; i < std::size(kTerminalKeySignals); ++i) {
        sigaction(kTerminalKeySignals[i], &ignore, &previous[i]);
    }
    // The program starts with the default dispositions and no blocked signals, whatever the caller had.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (const int signal : kTerminalKeySignals) {
        sigaddset(&defaults, signal);
    }
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()),
                               nullptr};
    pid_t child = -1;
    const bool started =
        posix_spawn(&child, program.c_str(), nullptr, &attributes, argv.data(), environ) == 0;
    posix_spawnattr_destroy(&attributes);
    if (started) {
        int status = 0;
        WaitForChild(child, &status);
    }
    for (size_t i = 0; i < std::size(kTerminalKeySignals); ++i) {
        sigaction(kTerminalKeySignals[i], &previous[i], nullptr);
    }
    return started;
}

}  // namespace ce::ui
