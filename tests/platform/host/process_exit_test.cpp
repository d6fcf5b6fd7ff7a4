// A program's end releases everything it held in the host, however it ends; and a call blocked in a
// driver blocks only its own thread.
#include <signal.h>
#include <winreg.h>

#include <thread>

#include "common/timing.h"
#include "platform/host/driver/hostdrv_protocol.h"
#include "platform/host/host_test_support.h"

namespace hosttest {
namespace {

constexpr auto kSettle = std::chrono::seconds(10);

class ProcessExitTest : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        int status = -1;
        RunHelper({"activate", "1"}, &status);
        ASSERT_EQ(status, 0);
    }

    static bool CountIs(LPCWSTR name, DWORD expected) { return DriverCount(name) == expected; }
};

TEST_F(ProcessExitTest, KilledProgramsBlockedCallsAreReleasedAndItsPortFreedAtOnce) {
    int output = -1;
    const pid_t program = Spawn({kHelper, "block", "HST1:"}, &output);
    ASSERT_EQ(ReadLine(output), "ready");
    close(output);
    // One thread in a read, one in a wait for comm events.
    ASSERT_TRUE(WaitFor([] { return CountIs(hostdrv::kBlocked, 2); }, kSettle));
    ASSERT_EQ(kill(program, SIGKILL), 0);
    EXPECT_EQ(Wait(program), 128 + SIGKILL);

    ASSERT_TRUE(WaitFor([] { return CountIs(hostdrv::kCloses, 1); }, kSettle));
    EXPECT_EQ(DriverCount(hostdrv::kExitNotices), 1u);
    EXPECT_EQ(DriverCount(hostdrv::kExitPid), static_cast<DWORD>(program));
    // Both blocked calls come back, released by the notice rather than by the close.
    EXPECT_TRUE(WaitFor([] { return CountIs(hostdrv::kBlocked, 0); }, kSettle));
    EXPECT_TRUE(WaitFor([] { return CountIs(hostdrv::kReleased, 2); }, kSettle));
    HANDLE file = CreateFileW(u"HST1:", hostdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(file);
}

TEST_F(ProcessExitTest, ProgramEndingWithoutClosingHasItsFileNotifiedAndClosed) {
    int status = -1;
    RunHelper({"leave-open", "HST1:"}, &status);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(WaitFor([] { return CountIs(hostdrv::kCloses, 1); }, kSettle));
    EXPECT_EQ(DriverCount(hostdrv::kExitNotices), 1u);
    EXPECT_EQ(DriverCount(hostdrv::kReleased), 0u);
    HANDLE file = CreateFileW(u"HST1:", hostdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(file);
}

TEST_F(ProcessExitTest, ThreadBlockedForeverDelaysNoOtherThreadOrProgram) {
    HANDLE blocked = CreateFileW(u"HST1:", hostdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(blocked, INVALID_HANDLE_VALUE);
    BlockedRead reader(blocked);
    ASSERT_TRUE(BlockedRead::Blocked(kSettle));

    // This thread's calls, on the same device and on the registry, go through meanwhile.
    ce_test::Stopwatch watch;
    HANDLE other = CreateFileW(u"HST1:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    char echo[4] = {};
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(other, "abc", 3, &done, nullptr));
    EXPECT_TRUE(ReadFile(other, echo, sizeof(echo), &done, nullptr));
    EXPECT_EQ(std::string(echo, done), "abc");
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(DriverCount(hostdrv::kBlocked), 1u);
    }
    EXPECT_TRUE(CloseHandle(other));
    EXPECT_LT(watch.ElapsedMs(), ce_test::UpperBoundMs(0));
    // So do other programs'.
    int status = -1;
    ce_test::Stopwatch program;
    RunHelper({"set", "Other", "1"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_LT(program.ElapsedMs(), ce_test::UpperBoundMs(1000));

    EXPECT_TRUE(CloseHandle(blocked));
    reader.Join();
    EXPECT_FALSE(reader.result());
    EXPECT_EQ(reader.error(), hostdrv::kReleasedError);
}

}  // namespace
}  // namespace hosttest
