// A program sees the same registry and devices through the host as in-process: the same statuses, last
// errors, outputs and untouched buffers, call for call.
#include "platform/host/host_test_support.h"

namespace hosttest {
namespace {

class ConformanceTest : public HostTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ConformanceTest, ThroughTheHostAsInProcess) {
    int inProcessStatus = -1;
    const std::string inProcess = RunHelper({GetParam()}, &inProcessStatus, "none");
    int hostedStatus = -1;
    const std::string hosted = RunHelper({GetParam()}, &hostedStatus, dir_.c_str());
    EXPECT_EQ(inProcessStatus, 0);
    EXPECT_EQ(hostedStatus, 0);
    // The script reached its end both ways, and the host was really used.
    EXPECT_GT(std::count(inProcess.begin(), inProcess.end(), '\n'), 30);
    EXPECT_NE(HostPid(dir_), 0);
    EXPECT_EQ(hosted, inProcess);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ConformanceTest, ::testing::Values("registry-script", "device-script"),
                         [](const auto& info) { return info.param[0] == 'r' ? "Registry" : "Devices"; });

}  // namespace
}  // namespace hosttest
