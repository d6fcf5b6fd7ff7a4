#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>

extern char** environ;

namespace {

// Above every number a descriptor is handed over as, so that handing one over never overwrites another
// still to be handed over.
constexpr int kFirstSpareDescriptor = 10;
// Fields of /proc/<pid>/stat after the command's closing parenthesis that come before utime: state (3)
// to cmajflt (13).
constexpr int kStatFieldsBeforeUserTime = 11;

}  // namespace

int StartProgram(const std::vector<std::string>& argv, const std::vector<Handover>& handovers) {
    std::vector<char*> args;
    std::vector<std::string> words = argv;
    for (std::string& word : words) {
        args.push_back(word.data());
    }
    args.push_back(nullptr);
    std::vector<int> copies;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const Handover& handover : handovers) {
        const int copy = fcntl(handover.descriptor, F_DUPFD_CLOEXEC, kFirstSpareDescriptor);
        copies.push_back(copy);
        if (copy >= 0) {
            posix_spawn_file_actions_adddup2(&actions, copy, handover.as);
        }
    }
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    for (const int copy : copies) {
        if (copy >= 0) {
            close(copy);
        }
    }
    if (spawned != 0) {
        errno = spawned;
        return -1;
    }
    return pid;
}

int WaitForProgram(int pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string SelfPath() {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    return length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string();
}

double ProcessCpuMs(int pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The command name may hold spaces and parentheses; the fields start after the last ')'.
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) {
        return 0;
    }
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string skipped;
    for (int i = 0; i < kStatFieldsBeforeUserTime; ++i) {
        fields >> skipped;
    }
    unsigned long long userTicks = 0, systemTicks = 0;
    if (!(fields >> userTicks >> systemTicks)) {
        return 0;
    }
    return 1000.0 * static_cast<double>(userTicks + systemTicks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}
