// Connections that take more than their share, written straight to the device's socket: promised sizes
// that never arrive, connections that never say hello, more connections than the host has descriptors.
// The host stays within bounds and goes on serving everybody else.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>

#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "common/timing.h"
#include "platform/host/raw_requests.h"

namespace hosttest {
namespace {

// A line of /proc/<pid>/status ("VmRSS", "Threads"): its number; 0 when missing.
long ProcessStatus(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, field.size() + 1, field + ":") == 0) {
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
        }
    }
    return 0;
}

using ConnectionLimitsTest = BadRequestsTest;

// Opens count call connections of program's session whose first request promises size bytes and sends no
// more; answers how much the host's resident memory grew once each connection's thread has taken the
// request's first record and waits for the rest. (Counting the host's threads instead failed now and then
// under load: a thread still ending from before lowered the count.)
long GrowthOfPromises(pid_t host, RawProgram& program, const std::string& dir, int count, uint32_t size,
                      std::vector<std::unique_ptr<Connection>>* connections) {
    const long before = ProcessStatus(host, "VmRSS");
    const size_t first = connections->size();
    for (int i = 0; i < count; ++i) {
        connections->push_back(std::make_unique<Connection>(dir));
        Connection& calls = *connections->back();
        EXPECT_FALSE(
            calls.Ask(Message(Op::HelloCall).U32(kProtocolVersion).Bytes(program.token).Finish()).closed);
        calls.Send(Message(Op::RegFlushKey).U32(0x80000002u).Finish(size));
    }
    EXPECT_TRUE(WaitFor(
        [&] {
            return std::all_of(connections->begin() + first, connections->end(),
                               [](const std::unique_ptr<Connection>& calls) { return calls->AllTaken(); });
        },
        std::chrono::seconds(5 * ce_test::kSlowdown)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300 * ce_test::kSlowdown));
    return ProcessStatus(host, "VmRSS") - before;
}

TEST_F(ConnectionLimitsTest, SizesPromisedByHeadersTakeNoMemoryUntilTheirDataArrives) {
    constexpr int kConnections = 48;
    constexpr long kSlackKiB = 16 * 1024;  // far below the 192 MiB the large promises add up to
    RawProgram program(dir_);
    std::vector<std::unique_ptr<Connection>> connections;
    // The same connections promising a little more than they sent cost what a connection costs.
    const long small = GrowthOfPromises(host_, program, dir_, kConnections, 64, &connections);
    const long large = GrowthOfPromises(host_, program, dir_, kConnections, 4 * 1024 * 1024, &connections);
    EXPECT_LT(large, small + kSlackKiB) << "a connection alone costs " << small / kConnections << " KiB";
}

// The lowest descriptor a process has not open: with its limit there, it has none left to open.
rlim_t FirstFreeDescriptor(pid_t pid) {
    std::set<rlim_t> open;
    DIR* fds = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    while (const dirent* entry = fds != nullptr ? readdir(fds) : nullptr) {
        if (entry->d_name[0] != '.') {
            open.insert(std::strtoul(entry->d_name, nullptr, 10));
        }
    }
    if (fds != nullptr) {
        closedir(fds);
    }
    rlim_t free = 0;
    while (open.count(free) != 0) {
        ++free;
    }
    return free;
}

// Lowers the host's descriptor limit for the test's length, as a host started under a low "ulimit -n".
class DescriptorLimit {
  public:
    DescriptorLimit(pid_t host, rlim_t descriptors) : host_(host) {
        rlimit lowered{};
        EXPECT_EQ(prlimit(host_, RLIMIT_NOFILE, nullptr, &before_), 0);
        lowered = {descriptors, before_.rlim_max};
        EXPECT_EQ(prlimit(host_, RLIMIT_NOFILE, &lowered, nullptr), 0);
    }
    ~DescriptorLimit() { prlimit(host_, RLIMIT_NOFILE, &before_, nullptr); }

  private:
    pid_t host_;
    rlimit before_{};
};

// Long enough for the host's answer to a connection, far shorter than waiting for ever.
constexpr int kAnswerMs = (ce::wire::kHelloTimeoutMs + 2000) * ce_test::kSlowdown;

// Runs a program to its end, killed (128 + SIGKILL) if it takes longer than timeoutMs.
tooltest::RunResult RunWithin(const std::vector<std::string>& argv, int timeoutMs) {
    std::vector<std::string> arguments{"-s", "KILL", std::to_string(timeoutMs / 1000.0)};
    arguments.insert(arguments.end(), argv.begin(), argv.end());
    return tooltest::RunProgram("/usr/bin/timeout", arguments, {});
}

TEST_F(ConnectionLimitsTest, AHostOutOfDescriptorsTellsNewConnectionsAtOnceAndGoesOn) {
    // Connections served take the gaps among the host's descriptors; then every descriptor the host may
    // have is in use, and a connection can only be taken with its reserve.
    RawProgram first(dir_);
    RawProgram second(dir_);
    DescriptorLimit limit(host_, FirstFreeDescriptor(host_));
    for (int i = 0; i < 20; ++i) {
        Connection connection(dir_);
        ASSERT_TRUE(connection.Waiting(kAnswerMs)) << "connection " << i << " left waiting";
        EXPECT_TRUE(connection.Receive().RefusedWith(ERROR_NO_SYSTEM_RESOURCES));
    }
    EXPECT_NE(ReadWholeFile(dir_ + "/host.log").find("out of descriptors"), std::string::npos);
    // The programs it serves go on.
    EXPECT_EQ(first.QueryStatus(first.OpenKey(u"HostTest")), static_cast<uint32_t>(ERROR_SUCCESS));
}

TEST_F(ConnectionLimitsTest, OneProgramsSilentConnectionsAreBoundedAndEndedWhileOthersAreServed) {
    constexpr int kSilent = 90;
    DescriptorLimit limit(host_, 64);
    std::vector<std::unique_ptr<Connection>> silent;
    for (int i = 0; i < kSilent; ++i) {
        silent.push_back(std::make_unique<Connection>(dir_));
    }
    // Those over the program's share are refused at once ...
    std::this_thread::sleep_for(std::chrono::milliseconds(300 * ce_test::kSlowdown));
    int refused = 0;
    for (auto& connection : silent) {
        if (connection->Waiting(0)) {
            EXPECT_TRUE(connection->Receive().RefusedWith(ERROR_NOT_ENOUGH_QUOTA));
            connection.reset();
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_LT(refused, kSilent);
    // ... while the host's controls and other programs are served.
    const tooltest::RunResult status = RunWithin({kHostProgram, "status"}, kAnswerMs);
    EXPECT_EQ(status.exitCode, 0) << status.out;
    const tooltest::RunResult helper = RunWithin({kHelper, "get", "Answer"}, kAnswerMs);
    EXPECT_EQ(helper.exitCode, 0);
    EXPECT_EQ(helper.out, "42\n");
    // The rest said nothing, and are ended once the time for a hello is up.
    for (auto& connection : silent) {
        if (connection) {
            ASSERT_TRUE(connection->Waiting(kAnswerMs));
            EXPECT_TRUE(connection->Receive().RefusedWith(ERROR_TIMEOUT));
        }
    }
}

TEST_F(ConnectionLimitsTest, AStoppedHostFailsNewProgramsAndStatusWithinSecondsAndThenServesAgain) {
    ASSERT_EQ(kill(host_, SIGSTOP), 0);
    tooltest::RunResult status;
    std::thread statusRun([&] { status = RunWithin({kHostProgram, "status"}, 2 * kAnswerMs); });
    const tooltest::RunResult helper = RunWithin({kHelper, "get", "Answer"}, 2 * kAnswerMs);
    statusRun.join();
    ASSERT_EQ(kill(host_, SIGCONT), 0);
    EXPECT_EQ(status.exitCode, 1);
    EXPECT_NE(status.out.find("did not answer within 5 s (stopped, or overwhelmed)"), std::string::npos)
        << status.out;
    EXPECT_EQ(helper.exitCode, 1);
}

}  // namespace
}  // namespace hosttest
