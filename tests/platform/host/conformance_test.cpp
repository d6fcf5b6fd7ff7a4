// A program sees the same registry and devices through the host as in-process: the same statuses, last
// errors, outputs and untouched buffers, call for call. (The registry's key and value tests also run
// through the host: this script has the calls they leave out.)
#include "platform/host/host_test_support.h"

namespace hosttest {
namespace {

struct Conformance {
    const char* script;
    bool overSocket;  // the calls travel over the socket instead of shared memory
};

class ConformanceTest : public HostTest, public ::testing::WithParamInterface<Conformance> {};

TEST_P(ConformanceTest, ThroughTheHostAsInProcess) {
    const Conformance& run = GetParam();
    int inProcessStatus = -1;
    const std::string inProcess = RunHelper({run.script}, &inProcessStatus, "none");
    int hostedStatus = -1;
    std::vector<std::string> hostedArguments{run.script};
    if (run.overSocket) {
        hostedArguments.insert(hostedArguments.begin(), "socket-calls");
    }
    const std::string hosted = RunHelper(hostedArguments, &hostedStatus, dir_.c_str());
    EXPECT_EQ(inProcessStatus, 0);
    EXPECT_EQ(hostedStatus, 0);
    // The script reached its end both ways, and the host was really used.
    EXPECT_GT(std::count(inProcess.begin(), inProcess.end(), '\n'), 20);
    EXPECT_NE(HostPid(dir_), 0);
    EXPECT_EQ(hosted, inProcess);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ConformanceTest,
                         ::testing::Values(Conformance{"registry-script", false},
                                           Conformance{"device-script", false},
                                           Conformance{"registry-script", true},
                                           Conformance{"device-script", true}),
                         [](const auto& info) {
                             return std::string(info.param.script[0] == 'r' ? "Registry" : "Devices") +
                                    (info.param.overSocket ? "OverSocket" : "ThroughSharedMemory");
                         });

}  // namespace
}  // namespace hosttest
