// ActivateDevice and DeactivateDevice: the registry record, the name and the handle. The cases run in-process
// and, built into the host's tests, through a device host.
#include "platform/devices/device_test_support.h"

namespace devtest {
namespace {

using ActivationTest = DeviceTest;

TEST_F(ActivationTest, RecordsTheInstanceAndHandsInitItsActiveKey) {
    WriteTestKey(3);
    const std::u16string spelled = u"drivers\\BUILTIN\\tst3";  // recorded as given
    SetLastError(kUnsetError);
    HANDLE device = ActivateDevice(spelled.c_str(), 0x1234ABCD);
    ASSERT_NE(device, nullptr) << GetLastError();
    EXPECT_LAST_ERROR(kUnsetError);

    const StoredValue key = ReadValue(ActiveSubkey(1), u"Key");
    EXPECT_EQ(key.type, REG_SZ);
    EXPECT_EQ(key.text, spelled);
    EXPECT_EQ(key.size, (spelled.size() + 1) * sizeof(WCHAR));
    const StoredValue name = ReadValue(ActiveSubkey(1), u"Name");
    EXPECT_EQ(name.type, REG_SZ);
    EXPECT_EQ(name.text, u"TST3:");
    EXPECT_EQ(name.size, 6 * sizeof(WCHAR));
    const StoredValue handle = ReadValue(ActiveSubkey(1), u"Hnd");
    EXPECT_EQ(handle.type, REG_DWORD);
    EXPECT_EQ(handle.number, static_cast<DWORD>(reinterpret_cast<uintptr_t>(device)));

    const testdrv::Info info = GetInfo(OpenDevice(u"TST3:"));
    EXPECT_EQ(std::u16string(info.activeKey), u"Drivers\\Active\\01");
    EXPECT_EQ(info.clientInfo, 0x1234ABCDu);
}

TEST_F(ActivationTest, ActiveNumbersTakeTheLowestFree) {
    ActivateTest(1);
    HANDLE second = ActivateTest(2);
    ActivateTest(3);
    ASSERT_TRUE(DeactivateDevice(second));
    EXPECT_FALSE(KeyExists(ActiveSubkey(2)));
    EXPECT_EQ(ReadValue(ActiveSubkey(3), u"Name").text, u"TST3:");
    ActivateTest(4);
    EXPECT_EQ(ReadValue(ActiveSubkey(2), u"Name").text, u"TST4:");
    EXPECT_EQ(CountSubkeys(kActiveKey), 3u);
}

TEST_F(ActivationTest, ANameInUseIsRefusedWhateverItsCase) {
    HANDLE device = ActivateTest(1);
    for (const char16_t* prefix : {u"TST", u"tst"}) {
        SetLastError(kUnsetError);
        EXPECT_EQ(ActivateDevice(WriteDeviceKey(u"Rival", prefix, 1).c_str(), 0), nullptr);
        EXPECT_LAST_ERROR(ERROR_DEVICE_IN_USE);
    }
    EXPECT_EQ(CountSubkeys(kActiveKey), 1u);
    EXPECT_EQ(DriverCount(testdrv::kAttaches), 1u);

    ASSERT_TRUE(DeactivateDevice(device));
    EXPECT_NE(ActivateDevice(WriteDeviceKey(u"Rival", kTestPrefix, 1).c_str(), 0), nullptr) << GetLastError();
}

TEST_F(ActivationTest, NullKeyIsAnInvalidParameter) {
    SetLastError(kUnsetError);
    EXPECT_EQ(ActivateDevice(nullptr, 0), nullptr);
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
}

TEST_F(ActivationTest, InitMayOpenOtherDevices) {
    ActivateTest(1);
    const std::u16string key = WriteTestKey(2);
    SetValue(key, testdrv::kOpenInInit, u"tst1:");
    ASSERT_NE(ActivateDevice(key.c_str(), 0), nullptr) << GetLastError();
    EXPECT_EQ(GetInfo(OpenDevice(TestName(2))).openedInInit, 1u);
    const testdrv::Info other = GetInfo(OpenDevice(TestName(1)));
    EXPECT_EQ(other.opens, 2u);
    EXPECT_EQ(other.closes, 1u);
}

TEST_F(ActivationTest, DeactivationRefusesWhatIsNotAnActiveDevice) {
    HANDLE device = ActivateTest(1);
    HANDLE stale = ActivateTest(2);
    ASSERT_TRUE(DeactivateDevice(stale));
    const HANDLE bad[] = {nullptr,
                          INVALID_HANDLE_VALUE,
                          reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(device) ^ 0x5A5A0000u),
                          CreateEventW(nullptr, TRUE, FALSE, nullptr),
                          OpenDevice(TestName(1)),
                          stale};
    for (HANDLE handle : bad) {
        SetLastError(kUnsetError);
        EXPECT_FALSE(DeactivateDevice(handle)) << handle;
        EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    }
    // Nor does CloseHandle end a device.
    EXPECT_FALSE(CloseHandle(device));
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    EXPECT_TRUE(DeactivateDevice(device));
}

}  // namespace
}  // namespace devtest
