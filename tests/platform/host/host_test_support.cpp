#include "platform/host/host_test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

extern char** environ;

namespace hosttest {
namespace {

std::vector<std::string> Environment(const char* device) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (device == nullptr || std::strncmp(*entry, "CE_DEVICE=", 10) != 0) {
            variables.emplace_back(*entry);
        }
    }
    if (device != nullptr) {
        variables.push_back(std::string("CE_DEVICE=") + device);
    }
    return variables;
}

}  // namespace

void HostTest::SetUp() {
    char pattern[] = "/tmp/cehost.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = std::string(pattern) + "/device";
    ASSERT_EQ(setenv("CE_DEVICE", dir_.c_str(), 1), 0);
    ASSERT_EQ(setenv("CE_HOST_PROGRAM", kHostProgram.c_str(), 1), 0);
    ASSERT_EQ(setenv("CE_DRIVER_PATH", kDriverDir.c_str(), 1), 0);
    signal(SIGPIPE, SIG_IGN);
}

void HostTest::TearDown() {
    HostCommand("stop");
    std::error_code ignored;
    std::filesystem::remove_all(dir_.substr(0, dir_.rfind('/')), ignored);
}

pid_t Spawn(const std::vector<std::string>& argv, int* output, const char* device, int* input) {
    std::vector<std::string> variables = Environment(device);
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> words = argv;
    std::vector<char*> args;
    for (std::string& word : words) {
        args.push_back(word.data());
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeFds[2] = {-1, -1};
    int inputFds[2] = {-1, -1};
    if (output != nullptr) {
        EXPECT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    }
    if (input != nullptr) {
        EXPECT_EQ(pipe2(inputFds, O_CLOEXEC), 0);
        posix_spawn_file_actions_adddup2(&actions, inputFds[0], 0);
    }
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << argv[0] << ": " << std::strerror(spawned);
    if (output != nullptr) {
        close(pipeFds[1]);
        *output = pipeFds[0];
    }
    if (input != nullptr) {
        close(inputFds[0]);
        *input = inputFds[1];
    }
    return spawned == 0 ? pid : -1;
}

int Wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunHelper(const std::vector<std::string>& arguments, std::string* output, const char* device) {
    tooltest::Environment variables;
    if (device != nullptr) {
        variables.emplace_back("CE_DEVICE", device);
    }
    const tooltest::RunResult result = tooltest::RunProgram(kHelper, arguments, variables);
    if (output != nullptr) {
        *output = result.out;
    }
    return result.exitCode;
}

std::string ReadLine(int fd) {
    std::string line;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

int HostCommand(const char* command) {
    return tooltest::RunProgram(kHostProgram, {command}, {}).exitCode;
}

std::string HostStatus(const std::string& dir, int* exitStatus) {
    const tooltest::RunResult result = tooltest::RunProgram(kHostProgram, {"status"}, {{"CE_DEVICE", dir}});
    *exitStatus = result.exitCode;
    return result.out.substr(0, result.out.find('\n'));
}

pid_t HostPid(const std::string& dir) {
    int status = -1;
    const std::string line = HostStatus(dir, &status);
    return status == 0 ? static_cast<pid_t>(std::strtol(line.c_str() + 5, nullptr, 10)) : 0;
}

bool HostLockFree(const std::string& dir) {
    const int lock = open((dir + "/host.lock").c_str(), O_RDWR | O_CLOEXEC);
    if (lock < 0) {
        return true;
    }
    const bool free = flock(lock, LOCK_EX | LOCK_NB) == 0;
    close(lock);
    return free;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return done();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace hosttest
