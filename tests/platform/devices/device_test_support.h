// Helpers of the device manager's tests: device keys, the test driver's answers, module residency.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <ceplatform.h>
#include <windows.h>

#include "platform/test_driver/test_driver_protocol.h"
#ifdef CE_TEST_HOST_PROGRAM
#include "platform/host/host_test_support.h"
#endif

#define EXPECT_LAST_ERROR(error) EXPECT_EQ(GetLastError(), static_cast<DWORD>(error))

namespace devtest {

inline constexpr DWORD kUnsetError = 0xDEADBEEFu;
inline constexpr const char16_t* kTestPrefix = u"TST";
inline constexpr const char16_t* kActiveKey = u"Drivers\\Active";
inline const std::string kTestDriverDir = CE_TEST_DRIVER_DIR;

#ifdef CE_TEST_HOST_PROGRAM
// Built into the host's tests, the cases run through a device host of their own, on as clean a device.
using DeviceTest = hosttest::HostTest;
#else
// Every test starts on a clean device with the test modules on the driver path.
class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override { CePlatformReset(); }
};
#endif

// TST1 active, with a file open on it.
class OpenDeviceTest : public DeviceTest {
  protected:
    void SetUp() override;

    HANDLE device_ = nullptr;
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

void UseDriverPath(const std::string& path);

// Drivers\BuiltIn\<name> with Prefix, Index and Dll; answers its path.
std::u16string WriteDeviceKey(const std::u16string& name, const std::u16string& prefix, DWORD index,
                              const std::u16string& dll = u"testdrv.dll");
std::u16string WriteTestKey(DWORD index);  // Drivers\BuiltIn\TST<index> for the test driver
HANDLE ActivateTest(DWORD index, DWORD clientInfo = 0);
std::u16string TestName(DWORD index);       // "TST<index>:"
std::u16string ActiveSubkey(DWORD number);  // "Drivers\Active\NN"

void SetValue(const std::u16string& key, const char16_t* name, DWORD value);
void SetValue(const std::u16string& key, const char16_t* name, const std::u16string& value);
void DeleteValue(const std::u16string& key, const char16_t* name);

// A value as stored; type REG_NONE when missing.
struct StoredValue {
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::u16string text;
    DWORD number = 0;
};
StoredValue ReadValue(const std::u16string& key, const char16_t* name);
bool KeyExists(const std::u16string& key);
DWORD CountSubkeys(const std::u16string& key);

HANDLE OpenDevice(const std::u16string& name, DWORD access = GENERIC_READ | GENERIC_WRITE);
testdrv::Info GetInfo(HANDLE file);
testdrv::LastCall GetLastCall(HANDLE file);

// Makes reads that Close or Deinit release wait for the answered event before they return.
HANDLE SetLinger(HANDLE file);

// A count of the test driver under its counts key; 0 when missing.
DWORD DriverCount(LPCWSTR name);

// A one-byte read on its own thread, which the constructor waits to see blocked in the test driver (a
// failure if it does not within the timeout); its outcome is in once joined. A test that fails before
// joining leaves the thread to end with the device.
class BlockedRead {
  public:
    explicit BlockedRead(HANDLE file, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    ~BlockedRead() {
        if (thread_.joinable()) {
            thread_.detach();
        }
    }
    BlockedRead(const BlockedRead&) = delete;
    BlockedRead& operator=(const BlockedRead&) = delete;
    void Join() { thread_.join(); }
    BOOL result() const { return outcome_->result; }
    DWORD error() const { return outcome_->error; }
    DWORD count() const { return outcome_->count; }

  private:
    struct Outcome {
        BOOL result = TRUE;
        DWORD error = 0;
        DWORD count = 77;
    };
    std::shared_ptr<Outcome> outcome_ = std::make_shared<Outcome>();
    std::thread thread_;
};

// Whether the test driver module is mapped into the process now.
bool TestModuleMapped();

}  // namespace devtest
