// A program sees the same registry through the host as in-process: the same statuses, last errors, outputs
// and untouched buffers, call for call. (The registry's key and value tests and the device manager's
// activation and device file tests also run through the host: this script has the calls they leave out.)
#include "platform/host/host_test_support.h"

namespace hosttest {
namespace {

// With true, the calls travel over the socket instead of shared memory.
class ConformanceTest : public HostTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ConformanceTest, ThroughTheHostAsInProcess) {
    std::string inProcess;
    EXPECT_EQ(RunHelper({"registry-script"}, &inProcess, "none"), 0);
    std::vector<std::string> hostedArguments{"registry-script"};
    if (GetParam()) {
        hostedArguments.insert(hostedArguments.begin(), "socket-calls");
    }
    std::string hosted;
    EXPECT_EQ(RunHelper(hostedArguments, &hosted, dir_.c_str()), 0);
    // The script reached its end both ways, and the host was really used.
    EXPECT_GT(std::count(inProcess.begin(), inProcess.end(), '\n'), 20);
    EXPECT_NE(HostPid(dir_), 0);
    EXPECT_EQ(hosted, inProcess);
}

INSTANTIATE_TEST_SUITE_P(Registry, ConformanceTest, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "OverSocket" : "ThroughSharedMemory");
});

}  // namespace
}  // namespace hosttest
