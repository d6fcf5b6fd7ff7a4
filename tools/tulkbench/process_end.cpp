// Programs and pipes for the measurement across processes. This file alone, beside the socketpair's,
// speaks POSIX.
#include "process_end.h"

#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <vector>

#include "serial_pair.h"

extern char** environ;

namespace {

constexpr const char* kServeFlag = "--serve-end";

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
    return remove(path);
}

pid_t Start(std::vector<std::string> argv, int input, int output) {
    std::vector<char*> args;
    for (std::string& word : argv) {
        args.push_back(word.data());
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0) {
        posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    }
    if (output >= 0) {
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    }
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// This program's file, however it was started.
std::string SelfPath() {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    return length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string();
}

// The device host beside this program, or the one CE_HOST_PROGRAM names.
std::string HostProgram() {
    if (const char* named = std::getenv("CE_HOST_PROGRAM")) {
        return named;
    }
    const std::string self = SelfPath();
    return self.substr(0, self.rfind('/') + 1) + "cedevice";
}

class ProcessEnd : public FarEnd {
  public:
    ProcessEnd(pid_t pid, int toChild, FILE* fromChild)
        : pid_(pid), toChild_(toChild), fromChild_(fromChild) {}
    ~ProcessEnd() override {
        close(toChild_);
        std::fclose(fromChild_);
        WaitFor(pid_);
    }

    bool Start(const Task& task) override {
        const std::string line = task.Text() + "\n";
        return write(toChild_, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    }

    bool Finish(double* cpuMs) override {
        char answer[128] = {};
        *cpuMs = 0;
        return std::fgets(answer, sizeof(answer), fromChild_) != nullptr &&
               std::sscanf(answer, "ok %lf", cpuMs) == 1;
    }

    bool Ready() {
        char answer[128] = {};
        return std::fgets(answer, sizeof(answer), fromChild_) != nullptr && std::string(answer) == "ready\n";
    }

  private:
    pid_t pid_;
    int toChild_;
    FILE* fromChild_;
};

}  // namespace

BenchDevice::BenchDevice(bool acrossPrograms) {
    if (const char* given = std::getenv("CE_DEVICE"); given != nullptr && std::string(given) != "none") {
        directory_ = given;
        shared_ = true;
        ok_ = true;
        return;
    }
    if (!acrossPrograms) {
        setenv("CE_DEVICE", "none", 1);
        ok_ = true;
        return;
    }
    char pattern[] = "/tmp/tulkbench.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return;
    }
    directory_ = std::string(pattern) + "/device";
    temporary_ = true;
    ok_ = true;
    setenv("CE_DEVICE", directory_.c_str(), 1);
}

std::string BenchDevice::Description() const {
    if (directory_.empty()) {
        return "inside this program";
    }
    return temporary_ ? "on a temporary device" : "on the device " + directory_;
}

BenchDevice::~BenchDevice() {
    if (!temporary_) {
        return;
    }
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t stop = Start({HostProgram(), "stop"}, -1, quiet);
    close(quiet);
    if (stop > 0) {
        WaitFor(stop);
    }
    const std::string parent = directory_.substr(0, directory_.rfind('/'));
    nftw(parent.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS);
}

std::unique_ptr<FarEnd> ProcessFarEnd(const std::string& port) {
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
        return nullptr;
    }
    const pid_t pid = Start({SelfPath(), kServeFlag, port}, toChild[0], fromChild[1]);
    close(toChild[0]);
    close(fromChild[1]);
    if (pid < 0) {
        close(toChild[1]);
        close(fromChild[0]);
        return nullptr;
    }
    auto end = std::make_unique<ProcessEnd>(pid, toChild[1], fdopen(fromChild[0], "r"));
    if (!end->Ready()) {
        return nullptr;
    }
    return end;
}

int ServeFarEnd(const std::string& port) {
    std::unique_ptr<PortEnd> end = PortEnd::Open(std::u16string(port.begin(), port.end()));
    if (!end || !end->UseHardwareFlowControl()) {
        std::fprintf(stderr, "tulkbench: the far end cannot open %s\n", port.c_str());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
        Task task;
        const std::clock_t before = std::clock();
        const bool ok = Task::Parse(line, &task) && RunTask(end.get(), task);
        const double cpuMs = 1000.0 * static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
        std::printf(ok ? "ok %.3f\n" : "failed\n", cpuMs);
        std::fflush(stdout);
    }
    return 0;
}

bool IsFarEndCommand(int argc, char** argv) {
    return argc == 3 && std::string(argv[1]) == kServeFlag;
}
