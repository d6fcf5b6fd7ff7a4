// Programs on one device through a pair that a third program activated: one killed in the middle of
// blocked calls frees its port at once, and a call that blocks in the driver holds up nobody else. (Data,
// lines and events between programs are the stress run's.)
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

using ProgramsTest = SystemTest;

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

// A write that flow control holds ends at its time limit with what the driver took, and the host passes on
// that count, not the size it was asked to write.
TEST_F(ProgramsTest, AHeldWriteEndsWithTheCountTheDriverTook) {
    HANDLE reader = tulktest::OpenByName(u"COM5:", kDataAccess);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE) << GetLastError();
    HANDLE writer = tulktest::OpenByName(u"COM6:", kDataAccess);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE) << GetLastError();
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    ASSERT_TRUE(GetCommState(reader, &dcb));
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ASSERT_TRUE(SetCommState(reader, &dcb));
    ASSERT_TRUE(GetCommState(writer, &dcb));
    dcb.fOutxCtsFlow = TRUE;
    ASSERT_TRUE(SetCommState(writer, &dcb));
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutConstant = 300;
    ASSERT_TRUE(SetCommTimeouts(writer, &timeouts));

    const std::vector<BYTE> data(8192, 'w');
    DWORD written = 0xDEADBEEFu;
    WriteFile(writer, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, data.size()) << "the reader's ring holds 2 KiB and nobody reads it";
    DWORD errors = 0;
    COMSTAT status{};
    ASSERT_TRUE(ClearCommError(reader, &errors, &status));
    EXPECT_GT(status.cbInQue, 0u);
    EXPECT_LE(status.cbInQue, written);
    EXPECT_TRUE(CloseHandle(writer));
    EXPECT_TRUE(CloseHandle(reader));
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
    EXPECT_EQ(other.Wait(), 0) << ::testing::PrintToString(otherLines);
    EXPECT_TRUE(CloseHandle(port));
}

}  // namespace
}  // namespace systemtest
