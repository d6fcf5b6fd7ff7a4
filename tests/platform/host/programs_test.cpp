// Programs in processes of their own share one device: its registry, its devices, its boot and its end.
#include <ceplatform.h>
#include <devload.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <winreg.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include "common/timing.h"
#include "host/boot.h"
#include "platform/devices/device_test_support.h"
#include "platform/host/host_test_support.h"

namespace hosttest {
namespace {

// Generous: a sanitized host and its start-up programs boot slowly on a loaded machine.
constexpr auto kHostDeath = std::chrono::seconds(10 * ce_test::kSlowdown);
constexpr auto kStartUpRun = std::chrono::seconds(10 * ce_test::kSlowdown);

using devtest::BlockedRead;
using devtest::CountSubkeys;
using devtest::DriverCount;

DWORD TestValue(LPCWSTR name) {
    return devtest::ReadValue(u"HostTest", name).number;
}

void SetString(LPCWSTR path, LPCWSTR name, const std::string& text) {
    devtest::SetValue(path, name, std::u16string(text.begin(), text.end()));
}

using ProgramsTest = HostTest;

TEST_F(ProgramsTest, RegistryChangesOfOneProgramAreSeenByTheNextAndKeptInTheHive) {
    EXPECT_EQ(RunHelper({"set", "Answer", "42"}), 0);
    EXPECT_EQ(TestValue(u"Answer"), 42u);
    std::string said;
    ASSERT_EQ(RunHelper({"get", "Answer"}, &said), 0);
    EXPECT_EQ(said, "42\n");
    // Every change is saved: the hive names the value while the host still runs.
    EXPECT_NE(ReadWholeFile(dir_ + "/registry.reg").find("\"Answer\"=dword:0000002a"), std::string::npos);
}

TEST_F(ProgramsTest, DeviceActivatedByAnExitedProgramServesOthersAndAThirdDeactivatesItByItsHnd) {
    EXPECT_EQ(RunHelper({"activate", "1"}), 0);
    ASSERT_EQ(CountSubkeys(DEVLOAD_ACTIVE_KEY), 1u);
    HANDLE file = CreateFileW(u"TST1:", testdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, "ping", 4, &done, nullptr));
    char echo[8] = {};
    ASSERT_TRUE(ReadFile(file, echo, sizeof(echo), &done, nullptr));
    EXPECT_EQ(std::string(echo, done), "ping");
    // The driver lets one program have data access at a time, whichever program asks.
    EXPECT_EQ(RunHelper({"leave-open", "TST1:"}), 1);

    EXPECT_EQ(RunHelper({"deactivate", "01"}), 0);
    SetLastError(kUnsetError);
    EXPECT_FALSE(ReadFile(file, echo, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEV_NOT_EXIST));
    EXPECT_EQ(CountSubkeys(DEVLOAD_ACTIVE_KEY), 0u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(DriverCount(testdrv::kDeinits), 1u);
}

TEST_F(ProgramsTest, StartUpProgramsRunAtBootOneAfterTheOtherInCreationOrder) {
    const std::string stamps = dir_ + "/stamps";
    // The first program takes a while: the second may only start when it has ended.
    SetString(ce::host::kStartUpKey, u"b-first", kHelper + " stamp " + stamps + " first 300");
    SetString(ce::host::kStartUpKey, u"a-fails", kHelper + " fail");
    SetString(ce::host::kStartUpKey, u"missing", "no-such-program-of-the-tests");
    devtest::SetValue(ce::host::kStartUpKey, u"number", DWORD{5});
    SetString(ce::host::kStartUpKey, u"last", kHelper + " stamp " + stamps + " second");
    ASSERT_EQ(HostCommand("stop"), 0);

    EXPECT_EQ(RunHelper({"touch"}), 0);  // boots the device again
    ASSERT_TRUE(WaitFor([&] { return ReadWholeFile(stamps) == "first\nsecond\n"; }, kStartUpRun))
        << ReadWholeFile(stamps);
    const std::string log = ReadWholeFile(dir_ + "/host.log");
    EXPECT_NE(log.find("fail failed (status 3)"), std::string::npos) << log;
    EXPECT_NE(log.find("no-such-program-of-the-tests not found"), std::string::npos) << log;
    EXPECT_NE(log.find("number is not a REG_SZ"), std::string::npos) << log;
}

TEST_F(ProgramsTest, ProgramsStartingTogetherGetOneHost) {
    constexpr int kPrograms = 4;
    std::vector<pid_t> programs;
    for (int i = 0; i < kPrograms; ++i) {
        programs.push_back(Spawn({kHelper, "touch"}));
    }
    for (pid_t pid : programs) {
        EXPECT_EQ(Wait(pid), 0);
    }
    const std::string log = ReadWholeFile(dir_ + "/host.log");
    size_t served = 0;
    for (size_t at = log.find(": serving"); at != std::string::npos; at = log.find(": serving", at + 1)) {
        ++served;
    }
    EXPECT_EQ(served, 1u) << log;
    EXPECT_NE(HostPid(dir_), 0);
}

TEST_F(ProgramsTest, KilledHostFailsBlockedCallsAtOnceAndTheNextProgramBootsTheDeviceAgain) {
    const std::string stamps = dir_ + "/stamps";
    SetString(ce::host::kStartUpKey, u"stamp", kHelper + " stamp " + stamps + " boot");
    EXPECT_EQ(RunHelper({"set", "Kept", "7"}), 0);
    EXPECT_EQ(RunHelper({"activate", "1"}), 0);
    HANDLE file = CreateFileW(u"TST1:", testdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    BlockedRead reader(file, kHostDeath);
    const pid_t first = HostPid(dir_);
    ASSERT_NE(first, 0);
    ASSERT_EQ(kill(first, SIGKILL), 0);
    reader.Join();
    EXPECT_FALSE(reader.result());
    EXPECT_EQ(reader.error(), static_cast<DWORD>(ERROR_DEVICE_NOT_AVAILABLE));
    ASSERT_TRUE(WaitFor([&] { return HostLockFree(dir_); }, kHostDeath));

    std::string said;
    EXPECT_EQ(RunHelper({"get", "Kept"}, &said), 0);
    EXPECT_EQ(said, "7\n");
    const pid_t second = HostPid(dir_);
    EXPECT_NE(second, 0);
    EXPECT_NE(second, first);
    // This program joins the new host too, and finds the device rebooted: registry kept, devices gone.
    EXPECT_EQ(TestValue(u"Kept"), 7u);
    EXPECT_EQ(HostPid(dir_), second);
    EXPECT_EQ(CountSubkeys(DEVLOAD_ACTIVE_KEY), 0u);
    ASSERT_TRUE(WaitFor([&] { return ReadWholeFile(stamps) == "boot\n"; }, kStartUpRun))
        << ReadWholeFile(stamps);

    // A handle of the old device is no handle of the new one; closing it still succeeds.
    DWORD done = 0;
    char byte = 0;
    SetLastError(kUnsetError);
    EXPECT_FALSE(ReadFile(file, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseHandle(file));
    SetLastError(kUnsetError);
    EXPECT_EQ(CreateFileW(u"TST1:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ProgramsTest, StopDeactivatesEveryDeviceBeforeTheHostEndsAndTheNextCallFindsItGone) {
    EXPECT_EQ(RunHelper({"activate", "1"}), 0);
    EXPECT_EQ(RunHelper({"activate", "2"}), 0);
    EXPECT_EQ(DriverCount(testdrv::kInits), 2u);
    const pid_t host = HostPid(dir_);
    ASSERT_EQ(HostCommand("stop"), 0);
    EXPECT_NE(host, 0);
    EXPECT_TRUE(HostLockFree(dir_));
    EXPECT_EQ(HostCommand("status"), 3);
    // The call that finds the host gone fails at once and leaves the last error alone; the next boots the
    // device again, and the counts outlive the host in its hive.
    HKEY key = nullptr;
    SetLastError(kUnsetError);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"HostTest", 0, 0, &key), ERROR_DEVICE_NOT_AVAILABLE);
    EXPECT_EQ(GetLastError(), kUnsetError);
    EXPECT_EQ(DriverCount(testdrv::kDeinits), 2u);
    EXPECT_EQ(HostCommand("stop"), 0);
    EXPECT_EQ(HostCommand("stop"), 0);  // nothing to stop is no failure
}

// Hosts that hold the device's lock and socket but serve nobody: one of another version (an earlier build
// still serving the device), which ends every hello without a word as hosts before the refusal message
// did, and which SIGTERM ends; one that dies during the first hello; one of another user.
enum class FakeHost { OfAnotherVersion, DiesDuringHello, OfAnotherUser };

pid_t StartFakeHost(const std::string& dir, FakeHost kind) {
    int ready[2];
    if (pipe(ready) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        mkdir(dir.c_str(), 0700);
        const int lock = open((dir + "/host.lock").c_str(), O_RDWR | O_CREAT, 0600);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof(address.sun_path), "%s/host.sock", dir.c_str());
        const int listener = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        unlink(address.sun_path);
        constexpr uid_t kNobody = 65534;
        if (lock < 0 || flock(lock, LOCK_EX) != 0 ||
            bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            (kind == FakeHost::OfAnotherUser && setuid(kNobody) != 0) || listen(listener, 16) != 0 ||
            write(ready[1], "r", 1) != 1) {
            _exit(1);
        }
        for (;;) {
            const int connection = accept(listener, nullptr, nullptr);
            char hello[64];
            if (connection >= 0 && recv(connection, hello, sizeof(hello), 0) >= 0) {
                if (kind == FakeHost::DiesDuringHello) {
                    close(lock);
                    _exit(0);
                }
                close(connection);
            }
        }
    }
    close(ready[1]);
    char byte = 0;
    const bool started = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    return started ? child : -1;
}

TEST_F(ProgramsTest, AHostOfAnotherVersionIsToldAndStoppedByTheStopCommand) {
    const pid_t other = StartFakeHost(dir_, FakeHost::OfAnotherVersion);
    ASSERT_GT(other, 0);
    // Programs' calls fail (and say why on stderr); status names the host.
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, 0, &key), ERROR_DEVICE_NOT_AVAILABLE);
    int status = -1;
    const std::string said = HostStatus(dir_, &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(said.find("host " + std::to_string(other) + " serves"), std::string::npos) << said;
    EXPECT_NE(said.find("another version"), std::string::npos) << said;

    EXPECT_EQ(HostCommand("stop"), 0);
    EXPECT_EQ(Wait(other), 128 + SIGTERM);
    EXPECT_TRUE(HostLockFree(dir_));
    // The next call boots the device with this version's host.
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"HostTest", 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_NE(HostPid(dir_), 0);
}

TEST_F(ProgramsTest, AProgramWhoseHostWillNotServeItSaysWhatHappened) {
    const std::pair<FakeHost, const char*> cases[] = {
        {FakeHost::OfAnotherVersion, "of another version"},
        {FakeHost::DiesDuringHello, "ended while this program joined it"},
        {FakeHost::OfAnotherUser, "belongs to user 65534"},
    };
    for (const auto& [kind, says] : cases) {
        if (kind == FakeHost::OfAnotherUser && geteuid() != 0) {
            continue;  // only root can start a process of another user
        }
        const pid_t host = StartFakeHost(dir_, kind);
        ASSERT_GT(host, 0);
        ::testing::internal::CaptureStderr();
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, 0, &key), ERROR_DEVICE_NOT_AVAILABLE);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(says), std::string::npos) << said;
        kill(host, SIGKILL);
        Wait(host);
    }
}

TEST_F(ProgramsTest, PlatformResetAndHiveChoiceLeaveASharedDeviceAlone) {
    EXPECT_EQ(RunHelper({"set", "Kept", "9"}), 0);
    CePlatformReset();
    EXPECT_EQ(TestValue(u"Kept"), 9u);
    SetLastError(kUnsetError);
    EXPECT_FALSE(CeRegistryUseHive((dir_ + "/other.reg").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_STREQ(CeDeviceDirectory(), dir_.c_str());
}

}  // namespace
}  // namespace hosttest
