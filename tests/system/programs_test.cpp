// Programs on one device through a pair that a third program activated: they talk both ways with lines
// and events crossing, one killed in the middle of blocked calls frees its port at once, and a call that
// blocks in the driver holds up nobody else.
#include <signal.h>
#include <winreg.h>

#include <thread>

#include "driver/driver_test_support.h"
#include "system/system_support.h"

namespace systemtest {
namespace {

constexpr auto kSettle = std::chrono::milliseconds(10000 * ce_test::kSlowdown);
constexpr DWORD kDataAccess = GENERIC_READ | GENERIC_WRITE;
// A blocked call must still be blocked after this long, or it was never blocked.
constexpr DWORD kStillBlockedMs = 300;

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

using ProgramsTest = SystemTest;

TEST_F(ProgramsTest, TwoProgramsTalkBothWaysAndSeeEachOthersLines) {
    Program first(Role({"talk", "first"}));
    ASSERT_EQ(first.ReadLine(), "ok open");
    ASSERT_EQ(first.ReadLine(), "ok mask");
    ASSERT_EQ(first.ReadLine(), "ready");
    Program second(Role({"talk", "second"}));
    const std::vector<std::string> firstLines = first.ReadRest();
    const std::vector<std::string> secondLines = second.ReadRest();
    EXPECT_EQ(first.Wait(), 0) << Joined(firstLines);
    EXPECT_EQ(second.Wait(), 0) << Joined(secondLines);
    // Every step of both scripts ran: none was skipped by an early end.
    EXPECT_EQ(firstLines.back(), "ok close") << Joined(firstLines);
    EXPECT_EQ(secondLines.back(), "ok close") << Joined(secondLines);
    EXPECT_EQ(firstLines.size(), 14u) << Joined(firstLines);
    EXPECT_EQ(secondLines.size(), 17u) << Joined(secondLines);
}

TEST_F(ProgramsTest, KilledProgramBlockedInTheDriverFreesItsPortAtOnce) {
    HANDLE partner = tulktest::OpenByName(u"COM6:", kDataAccess);
    ASSERT_NE(partner, INVALID_HANDLE_VALUE) << GetLastError();
    HANDLE watcher = tulktest::OpenByName(u"COM5:", 0);
    ASSERT_NE(watcher, INVALID_HANDLE_VALUE) << GetLastError();
    const int programsBefore = ProgramsOnDevice();

    Program blocked(Role({"block", "COM5:"}));
    for (const char* step : {"ok open", "ok no timeouts", "ok mask", "ready"}) {
        ASSERT_EQ(blocked.ReadLine(), step);
    }
    EXPECT_EQ(tulktest::QueryOpenState(watcher), 1u);
    // A third program cannot have the port while the blocked one holds it.
    {
        Program intruder(Role({"open", "COM5:"}));
        EXPECT_EQ(intruder.ReadLine(), "FAIL open: " + std::to_string(ERROR_INVALID_ACCESS));
        EXPECT_EQ(intruder.Wait(), 1);
    }
    Sleep(kStillBlockedMs);
    ASSERT_EQ(kill(blocked.pid(), SIGKILL), 0);
    EXPECT_EQ(blocked.Wait(), 128 + SIGKILL);

    // The host released the blocked read and wait and closed the handle: the driver says nobody has the
    // port, and the next program gets it at once.
    EXPECT_TRUE(hosttest::WaitFor([&] { return tulktest::QueryOpenState(watcher) == 0; }, kSettle));
    EXPECT_TRUE(hosttest::WaitFor([&] { return ProgramsOnDevice() == programsBefore; }, kSettle));
    Program next(Role({"open", "COM5:"}));
    EXPECT_EQ(next.ReadLine(), "ok open");
    EXPECT_EQ(next.Wait(), 0);
    // The partner's calls still work: its writes go nowhere without a reader, as on an unplugged line.
    DWORD lines = 0xDEADBEEFu;
    EXPECT_TRUE(GetCommModemStatus(partner, &lines)) << GetLastError();
    EXPECT_TRUE(CloseHandle(watcher));
    EXPECT_TRUE(CloseHandle(partner));
}

TEST_F(ProgramsTest, ReadWithoutTimeoutDelaysNoOtherProgramNorThread) {
    Program other(Role({"block", "COM5:"}));
    for (const char* step : {"ok open", "ok no timeouts", "ok mask", "ready"}) {
        ASSERT_EQ(other.ReadLine(), step);
    }
    HANDLE port = tulktest::OpenByName(u"COM6:", kDataAccess);
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
    COMMTIMEOUTS forever{};
    ASSERT_TRUE(SetCommTimeouts(port, &forever));
    std::atomic<bool> returned{false};
    DWORD done = 0xDEADBEEFu;
    BOOL readResult = FALSE;
    std::thread reader([&] {
        BYTE byte = 0;
        readResult = ReadFile(port, &byte, 1, &done, nullptr);
        returned.store(true);
    });
    Sleep(kStillBlockedMs);
    EXPECT_FALSE(returned.load()) << "a read without timeouts returned with nothing to read";

    // With a read blocked here and one in the other program, this thread's calls go through at once.
    const ce_test::Stopwatch watch;
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    EXPECT_TRUE(GetCommState(port, &dcb));
    EXPECT_TRUE(SetCommState(port, &dcb));
    DWORD lines = 0;
    EXPECT_TRUE(GetCommModemStatus(port, &lines));
    EXPECT_TRUE(EscapeCommFunction(port, SETRTS));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, tulktest::PortKeyPath(0).c_str(), 0, 0, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_LT(watch.ElapsedMs(), ce_test::UpperBoundMs(0));
    // So do a new program's, on the same pair.
    const ce_test::Stopwatch programWatch;
    {
        Program intruder(Role({"open", "COM6:"}));
        EXPECT_EQ(intruder.ReadLine(), "FAIL open: " + std::to_string(ERROR_INVALID_ACCESS));
        EXPECT_EQ(intruder.Wait(), 1);
    }
    EXPECT_LT(programWatch.ElapsedMs(), ce_test::UpperBoundMs(2000));

    // An abort from another thread ends this program's read; the other program's read and wait end when
    // its input does.
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(PurgeComm(port, PURGE_RXABORT));
    reader.join();
    EXPECT_TRUE(readResult);
    EXPECT_EQ(done, 0u);
    other.CloseInput();
    const std::vector<std::string> otherLines = other.ReadRest();
    EXPECT_EQ(other.Wait(), 0) << Joined(otherLines);
    EXPECT_TRUE(CloseHandle(port));
}

}  // namespace
}  // namespace systemtest
