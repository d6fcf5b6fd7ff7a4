// The module as the device manager runs it, for both families: pairs activated from keys written as the
// manager writes them, ports opened by name, deactivation with handles open, unloading and loading again;
// and the control-code log of a port whose key asks for it.
#include <gtest/gtest.h>

#include <string>

#include "driver/driver_test_support.h"

namespace tulktest {
namespace {

constexpr DWORD kData = GENERIC_READ | GENERIC_WRITE;

class DeviceManagerTest : public DriverTest, public ::testing::WithParamInterface<const char16_t*> {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        baselineThreads_ = BaselineThreadCount();
    }
    // Activates both ends of the pair; false when either fails.
    bool ActivatePair() {
        for (DWORD end : {0u, 1u}) {
            devices_[end] = ActivatePort(PairEnd(GetParam(), end));
            if (devices_[end] == nullptr) {
                return false;
            }
        }
        return true;
    }
    std::u16string Name(DWORD end) const { return DeviceName(PairEnd(GetParam(), end)); }
    // Nothing of the driver is left in the process: no device, no thread, no module.
    void ExpectNothingLeft() {
        HKEY active = nullptr;
        DWORD subkeys = 0;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Active", 0, KEY_READ, &active) == ERROR_SUCCESS) {
            RegQueryInfoKeyW(active, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr);
            RegCloseKey(active);
        }
        EXPECT_EQ(subkeys, 0u);
        EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == baselineThreads_; }, 2000));
        EXPECT_FALSE(DriverModuleMapped());
    }

    HANDLE devices_[2] = {};
    int baselineThreads_ = 0;
};

TEST_P(DeviceManagerTest, DeactivationClosesOpenHandlesAndTheModuleLoadsAfresh) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(ActivatePair());
        EXPECT_TRUE(DriverModuleMapped());
        HANDLE owner = OpenByName(Name(0), kData);
        HANDLE query = OpenByName(Name(0), 0);
        ASSERT_NE(query, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(DeactivateDevice(devices_[0]));
        SetLastError(kUnsetError);
        EXPECT_FALSE(DeviceIoControl(query, 0x001B006C, nullptr, 0, nullptr, 0, nullptr, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEV_NOT_EXIST));
        EXPECT_TRUE(CloseHandle(owner));
        EXPECT_TRUE(CloseHandle(query));
        EXPECT_TRUE(DriverModuleMapped());  // the other end still runs
        ASSERT_TRUE(DeactivateDevice(devices_[1]));
        ExpectNothingLeft();
    }
}

// A key without a usable DeviceArrayIndex fails its activation, leaves nothing, and the next one works.
TEST_P(DeviceManagerTest, FailedActivationLeavesNothingAndTheNextWorks) {
    PortKey port = PairEnd(GetParam(), 0);
    WritePortKey(port);
    DeleteValue(PortKeyPath(0), u"DeviceArrayIndex");
    EXPECT_EQ(ActivateDevice(PortKeyPath(0).c_str(), 0), nullptr);
    ExpectNothingLeft();
    for (DWORD index : {20u, 0xFFFFFFFFu}) {
        SetDword(PortKeyPath(0), u"DeviceArrayIndex", index);
        EXPECT_EQ(ActivateDevice(PortKeyPath(0).c_str(), 0), nullptr) << index;
        ExpectNothingLeft();
    }
    ASSERT_TRUE(ActivatePair());
    HANDLE owner = OpenByName(Name(0), kData);
    EXPECT_NE(owner, INVALID_HANDLE_VALUE);
    CloseHandle(owner);
}

INSTANTIATE_TEST_SUITE_P(Families, DeviceManagerTest, ::testing::Values(u"COM", u"KMX"),
                         [](const ::testing::TestParamInfo<const char16_t*>& info) {
                             return std::string(info.param[0] == u'C' ? "COM" : "KMX");
                         });

using TraceTest = DriverTest;

// A port whose key says Trace = 1 logs each control code with its outcome; its partner, untraced, does not.
TEST_F(TraceTest, TracedPortLogsEachControlCodeWithItsResult) {
    PortKey traced = PairEnd(u"COM", 0);
    PortKey quiet = PairEnd(u"COM", 1);
    WritePortKey(traced);
    SetDword(PortKeyPath(traced.arrayIndex), u"Trace", 1);
    HANDLE devices[2] = {ActivateDevice(PortKeyPath(traced.arrayIndex).c_str(), 0), ActivatePort(quiet)};
    ASSERT_NE(devices[0], nullptr);
    ASSERT_NE(devices[1], nullptr);
    HANDLE port = OpenByName(DeviceName(traced), GENERIC_READ | GENERIC_WRITE);
    HANDLE other = OpenByName(DeviceName(quiet), GENERIC_READ | GENERIC_WRITE);

    ::testing::internal::CaptureStderr();
    DCB dcb{};
    EXPECT_TRUE(GetCommState(port, &dcb));
    DWORD mask = 0;
    EXPECT_FALSE(DeviceIoControl(port, IOCTL_SERIAL_GET_WAIT_MASK, nullptr, 0, &mask, 1, nullptr, nullptr));
    EXPECT_TRUE(GetCommState(other, &dcb));
    const std::string log = ::testing::internal::GetCapturedStderr();

    EXPECT_NE(log.find("tulk[0]: IOCTL_SERIAL_GET_DCB (0x001B0050) -> TRUE"), std::string::npos) << log;
    EXPECT_NE(log.find("tulk[0]: IOCTL_SERIAL_GET_WAIT_MASK (0x001B0024) -> FALSE, error 87"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("tulk[1]"), std::string::npos) << "the untraced port logged: " << log;
    CloseHandle(port);
    CloseHandle(other);
    DeactivateDevice(devices[0]);
    DeactivateDevice(devices[1]);
}

}  // namespace
}  // namespace tulktest
