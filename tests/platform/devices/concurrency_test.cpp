// Many threads in the device manager at once, and deactivation with calls in flight.
#include <array>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "platform/devices/device_test_support.h"

namespace devtest {
namespace {

using namespace std::chrono_literals;
using ConcurrencyTest = DeviceTest;

constexpr int kThreadsPerHandle = 4;
constexpr int kRounds = 200;
constexpr DWORD kBytesPerRound = 37;

// Each thread writes its own tag and reads as many bytes back from the handle's shared echo; who gets which
// bytes is open, but no byte may be lost or made up.
struct HandleLoad {
    HANDLE file = nullptr;
    std::array<std::atomic<DWORD>, 256> readTags{};
};

void Hammer(HandleLoad& load, BYTE tag, std::atomic<int>& failures) {
    const std::vector<BYTE> out(kBytesPerRound, tag);
    std::vector<BYTE> in(kBytesPerRound);
    for (int round = 0; round < kRounds; ++round) {
        DWORD count = 0;
        DWORD status = 0;
        bool ok = WriteFile(load.file, out.data(), kBytesPerRound, &count, nullptr) &&
                  count == kBytesPerRound && GetCommModemStatus(load.file, &status);
        for (DWORD got = 0; ok && got < kBytesPerRound; got += count) {
            ok = ReadFile(load.file, in.data(), kBytesPerRound - got, &count, nullptr);
            for (DWORD i = 0; ok && i < count; ++i) {
                ++load.readTags[in[i]];
            }
        }
        if (!ok) {
            ++failures;
            return;
        }
    }
}

TEST_F(ConcurrencyTest, ManyThreadsOnOneAndSeveralHandles) {
    ActivateTest(1);
    ActivateTest(2);
    std::array<HandleLoad, 3> loads;
    loads[0].file = OpenDevice(TestName(1));
    loads[1].file = OpenDevice(TestName(1));
    loads[2].file = OpenDevice(TestName(2));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < loads.size() * kThreadsPerHandle; ++i) {
        threads.emplace_back(Hammer, std::ref(loads[i / kThreadsPerHandle]), static_cast<BYTE>(i + 1),
                             std::ref(failures));
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    ASSERT_EQ(failures.load(), 0);
    for (size_t i = 0; i < loads.size() * kThreadsPerHandle; ++i) {
        EXPECT_EQ(loads[i / kThreadsPerHandle].readTags[i + 1].load(), kRounds * kBytesPerRound)
            << "tag " << i + 1;
    }
    EXPECT_EQ(GetLastCall(loads[0].file).calls, static_cast<DWORD>(2 * kThreadsPerHandle * kRounds));
    EXPECT_EQ(GetLastCall(loads[2].file).calls, static_cast<DWORD>(kThreadsPerHandle * kRounds));
}

// A read that blocks in the driver on its own thread; the result is in once the thread is joined.
TEST_F(ConcurrencyTest, CloseAndDeactivationReleaseBlockedReads) {
    HANDLE device = ActivateTest(1);
    HANDLE closing = OpenDevice(TestName(1));
    BlockedRead closed(closing);
    EXPECT_TRUE(CloseHandle(closing));
    closed.Join();
    EXPECT_FALSE(closed.result());
    EXPECT_EQ(closed.error(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));

    // The read released by Deinit then lingers, so the test sees the moment in between.
    HANDLE file = OpenDevice(TestName(1));
    HANDLE linger = SetLinger(file);
    BlockedRead read(file);
    ASSERT_TRUE(DeactivateDevice(device));
    EXPECT_TRUE(TestModuleMapped());
    EXPECT_EQ(DriverCount(testdrv::kDetaches), 0u);
    EXPECT_FALSE(KeyExists(ActiveSubkey(1)));
    EXPECT_EQ(CreateFileW(TestName(1).c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeviceIoControl(file, testdrv::kGetInfo, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_LAST_ERROR(ERROR_DEV_NOT_EXIST);

    ASSERT_TRUE(SetEvent(linger));
    read.Join();
    EXPECT_FALSE(read.result());
    EXPECT_EQ(read.error(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(read.count(), 0u);
    EXPECT_FALSE(TestModuleMapped());
    EXPECT_EQ(DriverCount(testdrv::kDetaches), 1u);
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(ConcurrencyTest, ANewInstanceSharesTheModuleWithALingeringCall) {
    HANDLE device = ActivateTest(1);
    HANDLE file = OpenDevice(TestName(1));
    HANDLE linger = SetLinger(file);
    BlockedRead read(file);
    ASSERT_TRUE(DeactivateDevice(device));
    ActivateTest(1);
    ASSERT_TRUE(SetEvent(linger));
    read.Join();
    // The old call's exit did not unload the module under the new instance, which never saw a reload.
    EXPECT_EQ(GetInfo(OpenDevice(TestName(1))).initsSinceLoad, 2u);
    EXPECT_EQ(DriverCount(testdrv::kAttaches), 1u);
    EXPECT_EQ(DriverCount(testdrv::kDetaches), 0u);
}

// Each racing call reaches the live driver, finds the device gone, or (having entered just before) meets
// the driver after its Deinit ended the open; nothing else, and the module goes with the last of them.
TEST_F(ConcurrencyTest, CallsRacingWithDeactivationSeeTheDeviceOrItsAbsence) {
    constexpr int kCycles = 20;
    constexpr int kCallers = 4;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        HANDLE device = ActivateTest(1);
        HANDLE file = OpenDevice(TestName(1));
        std::atomic<int> unexpected{0};
        std::atomic<int> started{0};
        std::vector<std::thread> callers;
        for (int i = 0; i < kCallers; ++i) {
            callers.emplace_back([&] {
                ++started;
                DWORD count = 0;
                while (WriteFile(file, "r", 1, &count, nullptr) && PurgeComm(file, PURGE_RXCLEAR)) {
                }
                const DWORD error = GetLastError();
                unexpected += error != ERROR_DEV_NOT_EXIST && error != testdrv::kUnknownContextError;
            });
        }
        while (started.load() < kCallers) {
            std::this_thread::yield();
        }
        ASSERT_TRUE(DeactivateDevice(device));
        for (std::thread& caller : callers) {
            caller.join();
        }
        EXPECT_EQ(unexpected.load(), 0) << "cycle " << cycle;
        EXPECT_FALSE(TestModuleMapped()) << "cycle " << cycle;
    }
    EXPECT_EQ(DriverCount(testdrv::kDetaches), static_cast<DWORD>(kCycles));
}

TEST_F(ConcurrencyTest, ConcurrentActivationsGetDistinctRecordsAndOneOwnerPerName) {
    constexpr DWORD kNames = 10;
    std::vector<std::u16string> keys;
    for (DWORD index = 0; index < kNames; ++index) {
        keys.push_back(WriteTestKey(index));
        keys.push_back(WriteDeviceKey(u"Rival" + TestName(index).substr(3, 1), kTestPrefix, index));
    }
    std::vector<HANDLE> handles(keys.size());
    std::vector<DWORD> errors(keys.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < keys.size(); ++i) {
        threads.emplace_back([&, i] {
            handles[i] = ActivateDevice(keys[i].c_str(), 0);
            errors[i] = GetLastError();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (size_t i = 0; i < keys.size(); i += 2) {
        EXPECT_NE(handles[i] == nullptr, handles[i + 1] == nullptr) << i;
        EXPECT_EQ(errors[handles[i] != nullptr ? i + 1 : i], static_cast<DWORD>(ERROR_DEVICE_IN_USE)) << i;
    }
    std::set<std::u16string> names;
    for (DWORD number = 1; number <= kNames; ++number) {
        names.insert(ReadValue(ActiveSubkey(number), u"Name").text);
    }
    EXPECT_EQ(names.size(), kNames);
    EXPECT_EQ(CountSubkeys(kActiveKey), kNames);

    threads.clear();
    for (HANDLE handle : handles) {
        if (handle != nullptr) {
            threads.emplace_back([handle] { EXPECT_TRUE(DeactivateDevice(handle)); });
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(CountSubkeys(kActiveKey), 0u);
    EXPECT_FALSE(TestModuleMapped());
    EXPECT_EQ(DriverCount(testdrv::kAttaches), DriverCount(testdrv::kDetaches));
}

}  // namespace
}  // namespace devtest
