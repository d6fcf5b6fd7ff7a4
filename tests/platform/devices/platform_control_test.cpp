// CePlatformReset and the power calls.
#include "platform/devices/device_test_support.h"

namespace devtest {
namespace {

using PlatformControlTest = DeviceTest;

TEST_F(PlatformControlTest, ResetStopsEveryDeviceAndEmptiesTheRegistry) {
    HANDLE first = ActivateTest(1);
    ActivateTest(2);
    HANDLE file = OpenDevice(TestName(1));
    ASSERT_TRUE(CePlatformInjectFault("ActivateDevice", 0, ERROR_OUTOFMEMORY));

    CePlatformReset();
    EXPECT_FALSE(TestModuleMapped());
    EXPECT_FALSE(KeyExists(u"Drivers"));
    EXPECT_FALSE(DeactivateDevice(first));
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    EXPECT_FALSE(DeviceIoControl(file, testdrv::kGetInfo, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_LAST_ERROR(ERROR_DEV_NOT_EXIST);
    // The fault is gone and the names are free.
    ActivateTest(2);
    EXPECT_EQ(ReadValue(ActiveSubkey(1), u"Name").text, u"TST2:");
}

TEST_F(PlatformControlTest, ResetLetsReleasedCallsLeaveTheirDriverFirst) {
    constexpr DWORD kLingerMs = 100;
    ActivateTest(1);
    HANDLE file = OpenDevice(TestName(1));
    HANDLE linger = SetLinger(file);
    BlockedRead read(file);
    std::thread releaser([linger] {
        Sleep(kLingerMs);
        SetEvent(linger);
    });
    CePlatformReset();
    EXPECT_FALSE(TestModuleMapped());
    releaser.join();
    read.Join();
}

TEST_F(PlatformControlTest, PowerCallsReachEveryActiveDevice) {
    ActivateTest(1);
    ActivateTest(2);
    ASSERT_TRUE(DeactivateDevice(ActivateTest(3)));
    SetLastError(kUnsetError);
    CePlatformPowerDown();
    CePlatformPowerDown();
    CePlatformPowerUp();
    EXPECT_LAST_ERROR(kUnsetError);
    for (DWORD index : {1, 2}) {
        const testdrv::Info info = GetInfo(OpenDevice(TestName(index)));
        EXPECT_EQ(info.powerDowns, 2u);
        EXPECT_EQ(info.powerUps, 1u);
    }
}

}  // namespace
}  // namespace devtest
