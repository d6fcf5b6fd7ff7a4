// Connections that take more than their share, written straight to the device's socket: promised sizes
// that never arrive, connections that never say hello, more connections than the host has descriptors.
// The host stays within bounds and goes on serving everybody else.
#include <fstream>
#include <memory>
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

// Opens count connections whose first record, a hello, promises size bytes and that send no more; answers
// how much the host's resident memory grew, once each has a thread waiting for the rest.
long GrowthOfPromises(pid_t host, const std::string& dir, int count, uint32_t size,
                      std::vector<std::unique_ptr<Connection>>* connections) {
    const long before = ProcessStatus(host, "VmRSS");
    const long threads = ProcessStatus(host, "Threads");
    for (int i = 0; i < count; ++i) {
        connections->push_back(std::make_unique<Connection>(dir));
        connections->back()->Send(Message(Op::HelloSession).U32(kProtocolVersion).Finish(size));
    }
    EXPECT_TRUE(WaitFor([&] { return ProcessStatus(host, "Threads") >= threads + count; },
                        std::chrono::seconds(5 * ce_test::kSlowdown)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300 * ce_test::kSlowdown));
    return ProcessStatus(host, "VmRSS") - before;
}

TEST_F(ConnectionLimitsTest, SizesPromisedByHeadersTakeNoMemoryUntilTheirDataArrives) {
    constexpr int kConnections = 48;
    constexpr long kSlackKiB = 16 * 1024;  // far below the 192 MiB the large promises add up to
    std::vector<std::unique_ptr<Connection>> connections;
    // The same connections promising a little more than they sent cost what a connection costs.
    const long small = GrowthOfPromises(host_, dir_, kConnections, 64, &connections);
    const long large = GrowthOfPromises(host_, dir_, kConnections, 4 * 1024 * 1024, &connections);
    EXPECT_LT(large, small + kSlackKiB) << "a connection alone costs " << small / kConnections << " KiB";
}

}  // namespace
}  // namespace hosttest
