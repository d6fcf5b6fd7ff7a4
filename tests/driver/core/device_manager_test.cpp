// The module as the device manager runs it, for both families: pairs activated from keys written as the
// manager writes them, ports opened by name, deactivation with handles open, unloading and loading again.
#include <gtest/gtest.h>

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

TEST_P(DeviceManagerTest, OneDataOwnerPerPortAndQueriesBesideIt) {
    ASSERT_TRUE(ActivatePair());
    HANDLE owner = OpenByName(Name(0), kData);
    ASSERT_NE(owner, INVALID_HANDLE_VALUE);
    SetLastError(kUnsetError);
    EXPECT_EQ(OpenByName(Name(0), GENERIC_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ACCESS));
    HANDLE query = OpenByName(Name(0), 0);
    ASSERT_NE(query, INVALID_HANDLE_VALUE);
    EXPECT_EQ(QueryOpenState(query), 1u);
    // The other end is a port of its own.
    HANDLE otherQuery = OpenByName(Name(1), 0);
    EXPECT_EQ(QueryOpenState(otherQuery), 0u);
    HANDLE otherOwner = OpenByName(Name(1), GENERIC_WRITE);
    EXPECT_NE(otherOwner, INVALID_HANDLE_VALUE);
    EXPECT_EQ(QueryOpenState(otherQuery), 1u);

    ASSERT_TRUE(CloseHandle(owner));
    EXPECT_EQ(QueryOpenState(query), 0u);
    owner = OpenByName(Name(0), GENERIC_READ);
    EXPECT_NE(owner, INVALID_HANDLE_VALUE);
    for (HANDLE file : {owner, query, otherQuery, otherOwner}) {
        EXPECT_TRUE(CloseHandle(file));
    }
}

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

TEST_P(DeviceManagerTest, FailedActivationLeavesNothingAndTheNextWorks) {
    PortKey port = PairEnd(GetParam(), 0);
    WritePortKey(port);
    DeleteValue(PortKeyPath(0), u"DeviceArrayIndex");
    EXPECT_EQ(ActivateDevice(PortKeyPath(0).c_str(), 0), nullptr);
    ExpectNothingLeft();
    SetDword(PortKeyPath(0), u"DeviceArrayIndex", 20);
    EXPECT_EQ(ActivateDevice(PortKeyPath(0).c_str(), 0), nullptr);
    ExpectNothingLeft();
    ASSERT_TRUE(ActivatePair());
    HANDLE owner = OpenByName(Name(0), kData);
    EXPECT_NE(owner, INVALID_HANDLE_VALUE);
    CloseHandle(owner);
}

INSTANTIATE_TEST_SUITE_P(Families, DeviceManagerTest, ::testing::Values(u"COM", u"KMX"),
                         [](const ::testing::TestParamInfo<const char16_t*>& info) {
                             return std::string(info.param[0] == u'C' ? "COM" : "KMX");
                         });

}  // namespace
}  // namespace tulktest
