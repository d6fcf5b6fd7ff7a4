// The control-code trace: names for every code a program may send, and the log a traced port writes.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/trace.h"
#include "driver/driver_test_support.h"

namespace {

struct NamedCode {
    DWORD code;
    const char* name;
};

class ControlCodeNameTest : public ::testing::TestWithParam<NamedCode> {};

TEST_P(ControlCodeNameTest, DecodesToItsOwnName) {
    EXPECT_STREQ(ControlCodeName(GetParam().code), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ControlCodeNameTest,
    ::testing::Values(NamedCode{IOCTL_SERIAL_SET_BREAK_ON, "IOCTL_SERIAL_SET_BREAK_ON"},
                      NamedCode{IOCTL_SERIAL_SET_DTR, "IOCTL_SERIAL_SET_DTR"},
                      NamedCode{IOCTL_SERIAL_WAIT_ON_MASK, "IOCTL_SERIAL_WAIT_ON_MASK"},
                      NamedCode{IOCTL_SERIAL_GET_COMMSTATUS, "IOCTL_SERIAL_GET_COMMSTATUS"},
                      NamedCode{IOCTL_SERIAL_PURGE, "IOCTL_SERIAL_PURGE"},
                      NamedCode{IOCTL_SERIAL_SET_DCB, "IOCTL_SERIAL_SET_DCB"},
                      NamedCode{IOCTL_SERIAL_DISABLE_IR, "IOCTL_SERIAL_DISABLE_IR"},
                      NamedCode{0x001B006C, "port open-state query"},
                      NamedCode{IOCTL_PSL_NOTIFY, "IOCTL_PSL_NOTIFY"},
                      NamedCode{IOCTL_POWER_QUERY, "IOCTL_POWER_QUERY"},
                      // A code nobody knows is never given a plausible name.
                      NamedCode{0x001B0060, "unknown code"}, NamedCode{0, "unknown code"}));

TEST(ControlCodeNameTest, EverySerialCodeHasADistinctName) {
    std::set<std::string> names;
    for (DWORD function = 1; function <= 23; ++function) {
        const std::string name =
            ControlCodeName(CTL_CODE(FILE_DEVICE_SERIAL_PORT, function, METHOD_BUFFERED, 0));
        EXPECT_EQ(name.rfind("IOCTL_SERIAL_", 0), 0u) << function;
        EXPECT_TRUE(names.insert(name).second) << name;
    }
}

class TraceTest : public tulktest::DriverTest {};

// A port whose key says Trace = 1 logs each control code with its outcome; its partner, untraced, does not.
TEST_F(TraceTest, TracedPortLogsEachControlCodeWithItsResult) {
    tulktest::PortKey traced = tulktest::PairEnd(u"COM", 0);
    tulktest::PortKey quiet = tulktest::PairEnd(u"COM", 1);
    tulktest::WritePortKey(traced);
    tulktest::SetDword(tulktest::PortKeyPath(traced.arrayIndex), u"Trace", 1);
    HANDLE devices[2] = {ActivateDevice(tulktest::PortKeyPath(traced.arrayIndex).c_str(), 0),
                         tulktest::ActivatePort(quiet)};
    ASSERT_NE(devices[0], nullptr);
    ASSERT_NE(devices[1], nullptr);
    HANDLE port = tulktest::OpenByName(tulktest::DeviceName(traced), GENERIC_READ | GENERIC_WRITE);
    HANDLE other = tulktest::OpenByName(tulktest::DeviceName(quiet), GENERIC_READ | GENERIC_WRITE);

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
