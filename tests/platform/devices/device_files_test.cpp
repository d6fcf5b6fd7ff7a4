// CreateFileW, ReadFile, WriteFile, SetFilePointer, DeviceIoControl and CloseHandle on device files. The
// cases run in-process and, built into the host's tests, through a device host.
#include <array>
#include <cstring>
#include <vector>

#include "platform/devices/device_test_support.h"

namespace devtest {
namespace {

constexpr BYTE kFill = 0xFF;
using DeviceFileTest = OpenDeviceTest;

TEST_F(DeviceFileTest, OnlyRunningDeviceNamesOpen) {
    for (const char16_t* name :
         {u"TST2:", u"TST1", u"TST1:x", u"TST1::", u"", u"\\TST1:", u" TST1:", u"COM1:", u"/dev/null"}) {
        SetLastError(kUnsetError);
        EXPECT_EQ(CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);

    // Any case; access and share go to the driver; the overlapped flag is ignored.
    for (const char16_t* name : {u"tst1:", u"Tst1:"}) {
        SetLastError(kUnsetError);
        HANDLE file = CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
        EXPECT_LAST_ERROR(kUnsetError);
        const testdrv::Info info = GetInfo(file);
        EXPECT_EQ(info.openAccess, GENERIC_WRITE);
        EXPECT_EQ(info.openShare, static_cast<DWORD>(FILE_SHARE_READ));
    }
}

TEST_F(DeviceFileTest, ItsUsersAreTheProcessesHoldingItForData) {
    DWORD users[2] = {0, 0};
    EXPECT_EQ(CeGetDeviceUsers(u"tst1:", users, 2), 1u);
    EXPECT_EQ(users[0], GetCurrentProcessId());
    EXPECT_EQ(users[1], 0u) << "each process once";
    HANDLE second = CreateFileW(u"TST1:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE query = CreateFileW(u"TST1:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    ASSERT_NE(query, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CeGetDeviceUsers(u"TST1:", users, 2), 1u);
    CloseHandle(file_);
    CloseHandle(second);
    file_ = INVALID_HANDLE_VALUE;
    EXPECT_EQ(CeGetDeviceUsers(u"TST1:", users, 2), 0u) << "a query-only open uses nothing";
    CloseHandle(query);
    EXPECT_EQ(CeGetDeviceUsers(u"TST7:", nullptr, 0), 0u);
    SetLastError(kUnsetError);
    EXPECT_EQ(CeGetDeviceUsers(nullptr, users, 2), 0u);
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
}

// A driver's refusal keeps its error; one that set none gets the call's own.
class DriverRefusal : public OpenDeviceTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(DriverRefusal, KeepsTheDriversError) {
    const DWORD driverError = GetParam();
    const std::u16string key = WriteTestKey(2);
    SetValue(key, testdrv::kFailOpen, driverError);
    ASSERT_NE(ActivateDevice(key.c_str(), 0), nullptr);
    SetLastError(kUnsetError);
    EXPECT_EQ(CreateFileW(u"TST2:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(driverError != 0 ? driverError : ERROR_OPEN_FAILED);

    DWORD error = driverError;
    SetLastError(kUnsetError);
    EXPECT_FALSE(DeviceIoControl(file_, testdrv::kFail, &error, sizeof(error), nullptr, 0, nullptr, nullptr));
    EXPECT_LAST_ERROR(driverError != 0 ? driverError : ERROR_GEN_FAILURE);
}

INSTANTIATE_TEST_SUITE_P(Errors, DriverRefusal, ::testing::Values(DWORD{ERROR_SHARING_VIOLATION}, DWORD{0}));

TEST_F(DeviceFileTest, WrittenBytesComeBackAndTheRestOfTheBufferIsUntouched) {
    DWORD written = 0;
    SetLastError(kUnsetError);
    ASSERT_TRUE(WriteFile(file_, "hello", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    std::array<char, 16> buffer;
    buffer.fill(static_cast<char>(kFill));
    DWORD read = 0xFFFF;
    ASSERT_TRUE(ReadFile(file_, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr));
    EXPECT_LAST_ERROR(kUnsetError);
    ASSERT_EQ(read, 5u);
    EXPECT_EQ(std::string(buffer.data(), 5), "hello");
    for (size_t i = 5; i < buffer.size(); ++i) {
        EXPECT_EQ(static_cast<BYTE>(buffer[i]), kFill) << i;
    }
    // A zero-length read needs no buffer and does not wait.
    EXPECT_TRUE(ReadFile(file_, nullptr, 0, &read, nullptr));
    EXPECT_EQ(read, 0u);
}

TEST_F(DeviceFileTest, BadTransferParametersAreRefused) {
    char byte = 'x';
    DWORD count = 0;
    OVERLAPPED overlapped{};
    ASSERT_TRUE(WriteFile(file_, "abc", 3, &count, nullptr));
    const auto expectRefused = [&](BOOL result, bool countCleared) {
        EXPECT_FALSE(result);
        EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
        EXPECT_EQ(count, countCleared ? 0u : 77u);
        SetLastError(kUnsetError);
        count = 77;
    };
    count = 77;
    expectRefused(ReadFile(file_, &byte, 1, nullptr, nullptr), false);
    expectRefused(WriteFile(file_, &byte, 1, nullptr, nullptr), false);
    expectRefused(ReadFile(file_, &byte, 1, &count, &overlapped), true);
    expectRefused(WriteFile(file_, &byte, 1, &count, &overlapped), true);
    expectRefused(ReadFile(file_, nullptr, 1, &count, nullptr), true);
    expectRefused(WriteFile(file_, nullptr, 1, &count, nullptr), true);
    // A buffer the caller cannot reach: refused by the driver's safe copy, or before the call leaves for a
    // host.
    void* unreachable = reinterpret_cast<void*>(16);
    expectRefused(ReadFile(file_, unreachable, 1, &count, nullptr), true);
    expectRefused(WriteFile(file_, unreachable, 1, &count, nullptr), true);
    expectRefused(DeviceIoControl(file_, testdrv::kCopy, unreachable, 4, &byte, 1, &count, nullptr), false);

    // Nothing was taken or added by the refused calls.
    char echo[8] = {};
    ASSERT_TRUE(ReadFile(file_, echo, sizeof(echo), &count, nullptr));
    EXPECT_EQ(std::string(echo, count), "abc");
}

// Through a host, a transfer crosses in pieces: they arrive whole and in order, and the read ends short.
TEST_F(DeviceFileTest, LargeTransfersArriveWhole) {
    constexpr DWORD kLargeBytes = 3 * 1024 * 1024 + 123;
    std::vector<BYTE> written(kLargeBytes);
    for (size_t i = 0; i < written.size(); ++i) {
        written[i] = static_cast<BYTE>(i * 7 + i / 251);
    }
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(file_, written.data(), kLargeBytes, &count, nullptr));
    EXPECT_EQ(count, kLargeBytes);
    std::vector<BYTE> read(kLargeBytes + 10);
    ASSERT_TRUE(ReadFile(file_, read.data(), kLargeBytes + 10, &count, nullptr));
    ASSERT_EQ(count, kLargeBytes);
    read.resize(count);
    EXPECT_TRUE(read == written);
}

TEST_F(DeviceFileTest, SeekGoesToTheDriverWithThirtyTwoBitAmounts) {
    LONG high = 0;
    SetLastError(kUnsetError);
    EXPECT_EQ(SetFilePointer(file_, 7, &high, FILE_BEGIN), 7u);
    EXPECT_EQ(high, 0);
    EXPECT_LAST_ERROR(kUnsetError);
    for (LONG bad : {1, -1}) {
        high = bad;
        EXPECT_EQ(SetFilePointer(file_, 0, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(SetFilePointer(file_, -100, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_LAST_ERROR(testdrv::kNegativeSeekError);
}

TEST_F(DeviceFileTest, ControlCallsPassEverythingAsGiven) {
    constexpr DWORD kCode = CTL_CODE(FILE_DEVICE_SERIAL_PORT, 0x3A, METHOD_BUFFERED, FILE_ANY_ACCESS);
    std::array<BYTE, 6> in = {1, 2, 3, 4, 5, 6};
    std::array<BYTE, 10> out;
    out.fill(kFill);
    DWORD returned = 0xFFFF;
    SetLastError(kUnsetError);
    ASSERT_TRUE(DeviceIoControl(file_, kCode, in.data(), 6, out.data(), 7, &returned, nullptr));
    EXPECT_LAST_ERROR(kUnsetError);
    EXPECT_EQ(returned, 7u);
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i], i < 7 ? testdrv::kOutputBase + i : kFill) << i;
    }
    testdrv::LastCall last = GetLastCall(file_);
    EXPECT_EQ(last.code, kCode);
    EXPECT_EQ(last.inSize, 6u);
    EXPECT_EQ(last.outSize, 7u);
    EXPECT_EQ(std::memcmp(last.in, in.data(), in.size()), 0);

    // What the driver leaves of the output stays as the caller had it.
    out.fill(kFill);
    ASSERT_TRUE(DeviceIoControl(file_, testdrv::kCopy, in.data(), 2, out.data(), 7, &returned, nullptr));
    EXPECT_EQ(returned, 2u);
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i], i < 2 ? in[i] : kFill) << i;
    }

    // Null buffers reach the driver as null, with the sizes given.
    ASSERT_TRUE(DeviceIoControl(file_, kCode, nullptr, 3, nullptr, 5, nullptr, nullptr));
    last = GetLastCall(file_);
    EXPECT_EQ(last.calls, 2u);
    EXPECT_EQ(last.inSize, 3u);
    EXPECT_FALSE(last.hadIn);
    EXPECT_FALSE(last.hadOut);

    OVERLAPPED overlapped{};
    EXPECT_FALSE(DeviceIoControl(file_, kCode, nullptr, 0, nullptr, 0, &returned, &overlapped));
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetLastCall(file_).calls, 2u);
}

TEST_F(DeviceFileTest, HandlesOfAGoneDeviceFailWithoutReachingTheDriver) {
    ASSERT_TRUE(DeactivateDevice(device_));
    char byte = 0;
    DWORD count = 77;
    EXPECT_FALSE(ReadFile(file_, &byte, 1, &count, nullptr));
    EXPECT_LAST_ERROR(ERROR_DEV_NOT_EXIST);
    EXPECT_EQ(count, 0u);
    SetLastError(kUnsetError);
    EXPECT_FALSE(WriteFile(file_, &byte, 1, &count, nullptr));
    EXPECT_LAST_ERROR(ERROR_DEV_NOT_EXIST);
    SetLastError(kUnsetError);
    EXPECT_EQ(SetFilePointer(file_, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_LAST_ERROR(ERROR_DEV_NOT_EXIST);

    // A new instance under the same name is not reached through the old handle, nor told of its close.
    ActivateTest(1);
    SetLastError(kUnsetError);
    EXPECT_FALSE(DeviceIoControl(file_, testdrv::kGetInfo, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_LAST_ERROR(ERROR_DEV_NOT_EXIST);
    SetLastError(kUnsetError);
    EXPECT_TRUE(CloseHandle(file_));
    EXPECT_LAST_ERROR(kUnsetError);
    EXPECT_EQ(GetInfo(OpenDevice(TestName(1))).closes, 0u);
}

TEST_F(DeviceFileTest, WhatIsNotAnOpenDeviceFileIsRefusedByEveryCall) {
    HANDLE closed = OpenDevice(TestName(1));
    SetLastError(kUnsetError);
    ASSERT_TRUE(CloseHandle(closed));
    EXPECT_LAST_ERROR(kUnsetError);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    for (HANDLE bad : {HANDLE{nullptr}, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(uintptr_t{0x7FFF1234}),
                       event, device_, closed}) {
        char byte = 0;
        DWORD count = 77;
        const auto expectInvalid = [&](BOOL result) {
            EXPECT_FALSE(result) << bad;
            EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE) << bad;
            SetLastError(kUnsetError);
        };
        SetLastError(kUnsetError);
        expectInvalid(ReadFile(bad, &byte, 1, &count, nullptr));
        EXPECT_EQ(count, 0u);
        expectInvalid(WriteFile(bad, &byte, 1, &count, nullptr));
        expectInvalid(SetFilePointer(bad, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER);
        expectInvalid(DeviceIoControl(bad, IOCTL_SERIAL_SET_DTR, nullptr, 0, nullptr, 0, &count, nullptr));
        expectInvalid(GetCommModemStatus(bad, &count));
        DWORD errors = 0x11111111;
        expectInvalid(ClearCommError(bad, &errors, nullptr));
        EXPECT_EQ(errors, 0x11111111u);
        if (bad != event) {
            expectInvalid(CloseHandle(bad));
        }
    }
    // The one real close reached the driver, once.
    const testdrv::Info info = GetInfo(file_);
    EXPECT_EQ(info.opens, 2u);
    EXPECT_EQ(info.closes, 1u);
}

}  // namespace
}  // namespace devtest
