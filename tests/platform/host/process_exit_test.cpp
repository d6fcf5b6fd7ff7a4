// A program's end releases everything it held in the host, however it ends. (That a call blocked in a
// driver blocks only its own thread is the system tests'.)
#include <signal.h>
#include <winreg.h>

#include "platform/devices/device_test_support.h"
#include "platform/host/host_test_support.h"

namespace hosttest {
namespace {

using devtest::DriverCount;

constexpr auto kSettle = std::chrono::seconds(10);

class ProcessExitTest : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        ASSERT_EQ(RunHelper({"activate", "1"}), 0);
    }
};

TEST_F(ProcessExitTest, KilledProgramsBlockedCallsAreReleasedAndItsPortFreedAtOnce) {
    int output = -1;
    const pid_t program = Spawn({kHelper, "block", "TST1:"}, &output);
    ASSERT_EQ(ReadLine(output), "ready");
    close(output);
    // One thread in a read, one in a wait for comm events.
    ASSERT_TRUE(WaitFor([] { return DriverCount(testdrv::kBlocked) == 2; }, kSettle));
    ASSERT_EQ(kill(program, SIGKILL), 0);
    EXPECT_EQ(Wait(program), 128 + SIGKILL);

    ASSERT_TRUE(WaitFor([] { return DriverCount(testdrv::kCloses) == 1; }, kSettle));
    EXPECT_EQ(DriverCount(testdrv::kExitNotices), 1u);
    EXPECT_EQ(DriverCount(testdrv::kExitPid), static_cast<DWORD>(program));
    // Both blocked calls come back, released by the notice rather than by the close.
    EXPECT_TRUE(WaitFor([] { return DriverCount(testdrv::kBlocked) == 0; }, kSettle));
    EXPECT_TRUE(WaitFor([] { return DriverCount(testdrv::kReleased) == 2; }, kSettle));
    HANDLE file = CreateFileW(u"TST1:", testdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(file);
}

TEST_F(ProcessExitTest, ProgramEndingWithoutClosingHasItsFileNotifiedAndClosed) {
    ASSERT_EQ(RunHelper({"leave-open", "TST1:"}), 0);
    ASSERT_TRUE(WaitFor([] { return DriverCount(testdrv::kCloses) == 1; }, kSettle));
    EXPECT_EQ(DriverCount(testdrv::kExitNotices), 1u);
    EXPECT_EQ(DriverCount(testdrv::kReleased), 0u);
    HANDLE file = CreateFileW(u"TST1:", testdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(file);
}

}  // namespace
}  // namespace hosttest
