#include "system/system_support.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace systemtest {

Program::Program(const std::vector<std::string>& argv) {
    pid_ = hosttest::Spawn(argv, &output_, nullptr, &input_);
    reaped_ = pid_ < 0;
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
    int status = -1;
    const std::string line = hosttest::HostStatus(std::getenv("CE_DEVICE"), &status);
    const size_t colon = line.find(": ");
    return status != 0 || colon == std::string::npos ? -1 : std::atoi(line.c_str() + colon + 2);
}

}  // namespace systemtest
