#include "system/system_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace systemtest {

Program::Program(const std::vector<std::string>& argv) {
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipes: " << std::strerror(errno);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> words = argv;
    std::vector<char*> args;
    for (std::string& word : words) {
        args.push_back(word.data());
    }
    args.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(spawned);
        pid_ = -1;
        reaped_ = true;
    }
}

Program::~Program() {
    if (!reaped_) {
        kill(pid_, SIGKILL);
        Wait();
    }
    CloseInput();
    if (output_ >= 0) {
        close(output_);
    }
}

std::string Program::ReadLine(int timeoutMs) {
    const ce_test::Stopwatch watch;
    for (;;) {
        const size_t end = buffered_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        const auto left = static_cast<int>(timeoutMs - watch.ElapsedMs());
        pollfd wait{output_, POLLIN, 0};
        if (left <= 0 || poll(&wait, 1, left) == 0) {
            return "<timeout>";
        }
        char bytes[4096];
        const ssize_t got = read(output_, bytes, sizeof(bytes));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return "<end>";
        }
        buffered_.append(bytes, static_cast<size_t>(got));
    }
}

std::vector<std::string> Program::ReadRest(int timeoutMs) {
    std::vector<std::string> lines;
    for (std::string line; (line = ReadLine(timeoutMs)) != "<end>";) {
        lines.push_back(line);
        if (line == "<timeout>") {
            break;
        }
    }
    return lines;
}

void Program::Say(const std::string& line) {
    const std::string text = line + "\n";
    EXPECT_EQ(write(input_, text.data(), text.size()), static_cast<ssize_t>(text.size())) << line;
}

void Program::CloseInput() {
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
}

int Program::Wait() {
    if (reaped_) {
        return -1;
    }
    reaped_ = true;
    return hosttest::Wait(pid_);
}

std::vector<std::string> Role(const std::vector<std::string>& words) {
    std::vector<std::string> argv{kSystemHelper};
    argv.insert(argv.end(), words.begin(), words.end());
    return argv;
}

void SystemTest::SetUp() {
    HostTest::SetUp();
    Program activation(Role({"activate"}));
    const std::vector<std::string> lines = activation.ReadRest();
    ASSERT_EQ(activation.Wait(), 0) << ::testing::PrintToString(lines);
}

int ProgramsOnDevice() {
    int output = -1;
    const pid_t pid = hosttest::Spawn({hosttest::kHostProgram, "status"}, &output);
    const std::string line = hosttest::ReadLine(output);
    close(output);
    if (hosttest::Wait(pid) != 0) {
        return -1;
    }
    const size_t colon = line.find(": ");
    return colon == std::string::npos ? -1 : std::atoi(line.c_str() + colon + 2);
}

}  // namespace systemtest
