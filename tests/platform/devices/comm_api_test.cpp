// The comm API's records: what the driver gives back reaches the caller, ClearCommError splits the status,
// and null records and unknown escapes never reach the driver. (That each function sends its control code
// with a record of the right size is the serial tests': their driver refuses any other.)
#include <cstring>
#include <functional>

#include "platform/devices/device_test_support.h"

namespace devtest {
namespace {

using CommApiTest = OpenDeviceTest;

TEST_F(CommApiTest, RecordsComeBackFromTheDriverAndClearCommErrorSplitsTheStatus) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(file_, &dcb));
    for (size_t i = 0; i < sizeof(dcb); ++i) {
        EXPECT_EQ(reinterpret_cast<const BYTE*>(&dcb)[i], testdrv::kOutputBase + i) << i;
    }
    SERIAL_DEV_STATUS expected;
    for (size_t i = 0; i < sizeof(expected); ++i) {
        reinterpret_cast<BYTE*>(&expected)[i] = static_cast<BYTE>(testdrv::kOutputBase + i);
    }
    DWORD errors = 0;
    COMSTAT stat{};
    ASSERT_TRUE(ClearCommError(file_, &errors, &stat));
    EXPECT_EQ(errors, expected.Errors);
    EXPECT_EQ(std::memcmp(&stat, &expected.ComStat, sizeof(stat)), 0);
    // Either part may be left out; the driver is still asked.
    ASSERT_TRUE(ClearCommError(file_, nullptr, &stat));
    ASSERT_TRUE(ClearCommError(file_, &errors, nullptr));
    ASSERT_TRUE(ClearCommError(file_, nullptr, nullptr));
    EXPECT_EQ(GetLastCall(file_).calls, 5u);
}

TEST_F(CommApiTest, NullRecordsAndUnknownEscapesNeverReachTheDriver) {
    OVERLAPPED overlapped{};
    DWORD mask = 0;
    const std::function<BOOL()> calls[] = {
        [&] { return SetCommState(file_, nullptr); },
        [&] { return GetCommState(file_, nullptr); },
        [&] { return SetCommTimeouts(file_, nullptr); },
        [&] { return GetCommTimeouts(file_, nullptr); },
        [&] { return GetCommMask(file_, nullptr); },
        [&] { return WaitCommEvent(file_, nullptr, nullptr); },
        [&] { return WaitCommEvent(file_, &mask, &overlapped); },
        [&] { return GetCommModemStatus(file_, nullptr); },
        [&] { return GetCommProperties(file_, nullptr); },
        [&] { return EscapeCommFunction(file_, 0); },
        [&] { return EscapeCommFunction(file_, RESETDEV); },
        [&] { return EscapeCommFunction(file_, CLRIR + 1); },
        [&] { return EscapeCommFunction(file_, 0xFFFFFFFFu); },
    };
    for (size_t i = 0; i < std::size(calls); ++i) {
        SetLastError(kUnsetError);
        EXPECT_FALSE(calls[i]()) << i;
        EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER) << i;
    }
    EXPECT_EQ(GetLastCall(file_).calls, 0u);
}

}  // namespace
}  // namespace devtest
