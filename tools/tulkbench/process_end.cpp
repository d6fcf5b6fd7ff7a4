// Far ends in programs of their own, talking with this one through pipes, and the device's directory.
// POSIX side.
#include "process_end.h"

#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <vector>

#include "child_process.h"
#include "descriptor_end.h"
#include "serial_pair.h"

namespace {

constexpr const char* kServePortFlag = "--serve-end";
constexpr const char* kServeDescriptorFlag = "--serve-descriptor";
// The number under which a far end on a descriptor gets it.
constexpr int kServedDescriptor = 3;
constexpr size_t kStatusBytes = 4096;

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
    return remove(path);
}

// The device host beside this program, or the one CE_HOST_PROGRAM names.
std::string HostProgram() {
    if (const char* named = std::getenv("CE_HOST_PROGRAM")) {
        return named;
    }
    const std::string self = SelfPath();
    return self.substr(0, self.rfind('/') + 1) + "cedevice";
}

// What a program printed on its standard output until it ended.
std::string OutputOf(const std::vector<std::string>& argv) {
    int output[2] = {-1, -1};
    if (pipe2(output, O_CLOEXEC) != 0) {
        return {};
    }
    const int pid = StartProgram(argv, {{output[1], STDOUT_FILENO}});
    close(output[1]);
    std::string text;
    char chunk[kStatusBytes];
    for (;;) {
        const ssize_t n = pid > 0 ? read(output[0], chunk, sizeof(chunk)) : 0;
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(n));
    }
    close(output[0]);
    if (pid > 0) {
        WaitForProgram(pid);
    }
    return text;
}

class ProcessClock : public CpuClock {
  public:
    explicit ProcessClock(int pid) : pid_(pid) {}
    double Ms() override { return ProcessCpuMs(pid_); }

  private:
    int pid_;
};

class ProcessEnd : public FarEnd {
  public:
    ProcessEnd(pid_t pid, int toChild, FILE* fromChild)
        : pid_(pid), toChild_(toChild), fromChild_(fromChild) {}
    ~ProcessEnd() override {
        close(toChild_);
        std::fclose(fromChild_);
        WaitForProgram(pid_);
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

// Starts this program again as a far end with the given arguments and descriptors; nullptr when it does
// not say it is ready.
std::unique_ptr<FarEnd> StartFarProgram(const std::vector<std::string>& arguments,
                                        std::vector<Handover> handovers) {
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
        return nullptr;
    }
    std::vector<std::string> argv = {SelfPath()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    handovers.push_back({toChild[0], STDIN_FILENO});
    handovers.push_back({fromChild[1], STDOUT_FILENO});
    const int pid = StartProgram(argv, handovers);
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

// Runs the tasks standard input names on end, answering each with its outcome and the CPU time it took.
int ServeTasks(ByteEnd* end) {
    std::printf("ready\n");
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
        Task task;
        const std::clock_t before = std::clock();
        const bool ok = Task::Parse(line, &task) && RunTask(end, task);
        const double cpuMs = 1000.0 * static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
        std::printf(ok ? "ok %.3f\n" : "failed\n", cpuMs);
        std::fflush(stdout);
    }
    return 0;
}

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
    OutputOf({HostProgram(), "stop"});
    const std::string parent = directory_.substr(0, directory_.rfind('/'));
    nftw(parent.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS);
}

std::unique_ptr<CpuClock> BenchDevice::HostClock() const {
    if (directory_.empty()) {
        return nullptr;
    }
    // "host <pid> serves <directory>: ..."
    unsigned pid = 0;
    const std::string status = OutputOf({HostProgram(), "status"});
    if (std::sscanf(status.c_str(), "host %u serves", &pid) != 1 || pid == 0) {
        return nullptr;
    }
    return std::make_unique<ProcessClock>(static_cast<int>(pid));
}

std::unique_ptr<FarEnd> ProcessFarEnd(const std::string& port) {
    return StartFarProgram({kServePortFlag, port}, {});
}

std::unique_ptr<FarEnd> DescriptorFarEnd(int descriptor) {
    std::unique_ptr<FarEnd> end = StartFarProgram({kServeDescriptorFlag}, {{descriptor, kServedDescriptor}});
    close(descriptor);
    return end;
}

bool IsFarEndCommand(int argc, char** argv) {
    return (argc == 3 && std::string(argv[1]) == kServePortFlag) ||
           (argc == 2 && std::string(argv[1]) == kServeDescriptorFlag);
}

int ServeFarEnd(int argc, char** argv) {
    if (argc == 2) {
        DescriptorEnd end(kServedDescriptor);
        return ServeTasks(&end);
    }
    const std::string port = argv[2];
    std::unique_ptr<PortEnd> end = PortEnd::Open(std::u16string(port.begin(), port.end()));
    if (!end || !end->UseHardwareFlowControl()) {
        std::fprintf(stderr, "tulkbench: the far end cannot open %s\n", port.c_str());
        return 1;
    }
    return ServeTasks(end.get());
}
