// The comm API: one control code per function, each record with its exact size.
#include <cstring>
#include <functional>
#include <vector>

#include "platform/devices/device_test_support.h"

namespace devtest {
namespace {

using CommApiTest = OpenDeviceTest;

// Records the functions fill in, alive across the call so that the driver writes into them.
DCB g_dcb;
COMMTIMEOUTS g_timeouts;
COMMPROP g_properties;
DWORD g_word;
COMSTAT g_stat;

struct CommCase {
    const char* label;
    std::function<BOOL(HANDLE)> call;
    DWORD code;
    DWORD inSize;
    DWORD outSize;
    std::vector<BYTE> in;  // the input bytes, where the function builds them
};

void PrintTo(const CommCase& value, std::ostream* out) {
    *out << value.label;
}

template <class Value>
std::vector<BYTE> Bytes(const Value& value) {
    std::vector<BYTE> bytes(sizeof(value));
    std::memcpy(bytes.data(), &value, sizeof(value));
    return bytes;
}

CommCase Escape(const char* label, DWORD function, DWORD code) {
    return {label, [function](HANDLE file) { return EscapeCommFunction(file, function); }, code, 0, 0, {}};
}

class CommFunction : public CommApiTest, public ::testing::WithParamInterface<CommCase> {};

TEST_P(CommFunction, SendsItsCodeWithExactSizes) {
    const CommCase& expected = GetParam();
    SetLastError(kUnsetError);
    ASSERT_TRUE(expected.call(file_)) << GetLastError();
    EXPECT_LAST_ERROR(kUnsetError);
    const testdrv::LastCall last = GetLastCall(file_);
    EXPECT_EQ(last.calls, 1u);
    EXPECT_EQ(last.code, expected.code);
    EXPECT_EQ(last.inSize, expected.inSize);
    EXPECT_EQ(last.outSize, expected.outSize);
    EXPECT_EQ(last.hadIn, expected.inSize != 0);
    EXPECT_EQ(last.hadOut, expected.outSize != 0);
    if (!expected.in.empty()) {
        EXPECT_EQ(std::vector<BYTE>(last.in, last.in + expected.in.size()), expected.in);
    }
}

constexpr SERIAL_QUEUE_SIZES kQueues{4096, 2048};

INSTANTIATE_TEST_SUITE_P(
    Functions, CommFunction,
    ::testing::Values(
        CommCase{"SetCommState",
                 [](HANDLE f) { return SetCommState(f, &g_dcb); },
                 IOCTL_SERIAL_SET_DCB,
                 28,
                 0,
                 {}},
        CommCase{"GetCommState",
                 [](HANDLE f) { return GetCommState(f, &g_dcb); },
                 IOCTL_SERIAL_GET_DCB,
                 0,
                 28,
                 {}},
        CommCase{"SetCommTimeouts",
                 [](HANDLE f) { return SetCommTimeouts(f, &g_timeouts); },
                 IOCTL_SERIAL_SET_TIMEOUTS,
                 20,
                 0,
                 {}},
        CommCase{"GetCommTimeouts",
                 [](HANDLE f) { return GetCommTimeouts(f, &g_timeouts); },
                 IOCTL_SERIAL_GET_TIMEOUTS,
                 0,
                 20,
                 {}},
        CommCase{"SetCommMask", [](HANDLE f) { return SetCommMask(f, EV_RXCHAR | EV_CTS); },
                 IOCTL_SERIAL_SET_WAIT_MASK, 4, 0, Bytes(DWORD{EV_RXCHAR | EV_CTS})},
        CommCase{"GetCommMask",
                 [](HANDLE f) { return GetCommMask(f, &g_word); },
                 IOCTL_SERIAL_GET_WAIT_MASK,
                 0,
                 4,
                 {}},
        CommCase{"WaitCommEvent",
                 [](HANDLE f) { return WaitCommEvent(f, &g_word, nullptr); },
                 IOCTL_SERIAL_WAIT_ON_MASK,
                 0,
                 4,
                 {}},
        Escape("SETDTR", SETDTR, IOCTL_SERIAL_SET_DTR), Escape("CLRDTR", CLRDTR, IOCTL_SERIAL_CLR_DTR),
        Escape("SETRTS", SETRTS, IOCTL_SERIAL_SET_RTS), Escape("CLRRTS", CLRRTS, IOCTL_SERIAL_CLR_RTS),
        Escape("SETXOFF", SETXOFF, IOCTL_SERIAL_SET_XOFF), Escape("SETXON", SETXON, IOCTL_SERIAL_SET_XON),
        Escape("SETBREAK", SETBREAK, IOCTL_SERIAL_SET_BREAK_ON),
        Escape("CLRBREAK", CLRBREAK, IOCTL_SERIAL_SET_BREAK_OFF),
        Escape("SETIR", SETIR, IOCTL_SERIAL_ENABLE_IR), Escape("CLRIR", CLRIR, IOCTL_SERIAL_DISABLE_IR),
        CommCase{"GetCommModemStatus",
                 [](HANDLE f) { return GetCommModemStatus(f, &g_word); },
                 IOCTL_SERIAL_GET_MODEMSTATUS,
                 0,
                 4,
                 {}},
        CommCase{"PurgeComm", [](HANDLE f) { return PurgeComm(f, PURGE_RXCLEAR | PURGE_TXABORT); },
                 IOCTL_SERIAL_PURGE, 4, 0, Bytes(DWORD{PURGE_RXCLEAR | PURGE_TXABORT})},
        CommCase{"ClearCommError",
                 [](HANDLE f) { return ClearCommError(f, &g_word, &g_stat); },
                 IOCTL_SERIAL_GET_COMMSTATUS,
                 0,
                 16,
                 {}},
        CommCase{"GetCommProperties",
                 [](HANDLE f) { return GetCommProperties(f, &g_properties); },
                 IOCTL_SERIAL_GET_PROPERTIES,
                 0,
                 64,
                 {}},
        CommCase{"SetupComm", [](HANDLE f) { return SetupComm(f, kQueues.InSize, kQueues.OutSize); },
                 IOCTL_SERIAL_SET_QUEUE_SIZE, 8, 0, Bytes(kQueues)},
        CommCase{"TransmitCommChar",
                 [](HANDLE f) { return TransmitCommChar(f, 'Z'); },
                 IOCTL_SERIAL_IMMEDIATE_CHAR,
                 1,
                 0,
                 {'Z'}},
        CommCase{
            "SetCommBreak", [](HANDLE f) { return SetCommBreak(f); }, IOCTL_SERIAL_SET_BREAK_ON, 0, 0, {}},
        CommCase{"ClearCommBreak",
                 [](HANDLE f) { return ClearCommBreak(f); },
                 IOCTL_SERIAL_SET_BREAK_OFF,
                 0,
                 0,
                 {}}),
    [](const auto& info) { return std::string(info.param.label); });

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
