// Acceptance of line settings, the port's fixed properties and the open-state query.
#include <cstring>

#include <pegdser.h>

#include "driver/virtual/virtual_fixture.h"

namespace vtest {
namespace {

struct DcbCase {
    const char* name;
    DWORD baudRate;
    BYTE byteSize;
    BYTE parity;
    BYTE stopBits;
    bool accepted;
    friend void PrintTo(const DcbCase& c, std::ostream* os) { *os << c.name; }
};

std::string CaseName(const ::testing::TestParamInfo<DcbCase>& info) {
    return info.param.name;
}

class SetDcbTest : public VirtualPortTest, public ::testing::WithParamInterface<DcbCase> {
  protected:
    void SetUp() override {
        VirtualPortTest::SetUp();
        CreatePair();
    }
    static DCB Stored(PortState* state) {
        LockGuard reg(Vp(state)->registerLock);
        return Vp(state)->dcb;
    }
    static DCB With(const DCB& base, const DcbCase& c) {
        DCB dcb = base;
        dcb.BaudRate = c.baudRate;
        dcb.ByteSize = c.byteSize;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stopBits;
        return dcb;
    }
};

TEST_P(SetDcbTest, OpenPortChecksEveryChangedSetting) {
    const DcbCase& c = GetParam();
    ASSERT_NE(OpenData(a_), nullptr);
    const DCB before = Stored(a_);
    const DCB next = With(before, c);
    EXPECT_EQ(Ops(a_).SetDCB(Vp(a_), &next), c.accepted ? TRUE : FALSE);
    const DCB after = Stored(a_);
    if (c.accepted) {
        EXPECT_EQ(std::memcmp(&after, &next, sizeof(DCB)), 0);
    } else {
        EXPECT_EQ(after.BaudRate, before.BaudRate);
        EXPECT_EQ(after.ByteSize, before.ByteSize);
        EXPECT_EQ(after.Parity, before.Parity);
        EXPECT_EQ(after.StopBits, before.StopBits);
    }
}

TEST_P(SetDcbTest, ClosedPortTakesAnythingAndStillOpens) {
    const DcbCase& c = GetParam();
    const DCB next = With(Stored(a_), c);
    EXPECT_TRUE(Ops(a_).SetDCB(Vp(a_), &next));
    const DCB after = Stored(a_);
    EXPECT_EQ(std::memcmp(&after, &next, sizeof(DCB)), 0);
    EXPECT_EQ(Ops(a_).Open(Vp(a_)), 1u);
    EXPECT_EQ(Ops(a_).Close(Vp(a_)), 0u);
}

// The rates of the table, and settings next to it that a 16550 cannot do.
INSTANTIATE_TEST_SUITE_P(
    Settings, SetDcbTest,
    ::testing::Values(
        DcbCase{"Baud50", 50, 8, 0, 0, true}, DcbCase{"Baud75", 75, 8, 0, 0, true},
        DcbCase{"Baud110", 110, 8, 0, 0, true}, DcbCase{"Baud135", 135, 8, 0, 0, true},
        DcbCase{"Baud150", 150, 8, 0, 0, true}, DcbCase{"Baud300", 300, 8, 0, 0, true},
        DcbCase{"Baud600", 600, 8, 0, 0, true}, DcbCase{"Baud1200", 1200, 8, 0, 0, true},
        DcbCase{"Baud1800", 1800, 8, 0, 0, true}, DcbCase{"Baud2000", 2000, 8, 0, 0, true},
        DcbCase{"Baud2400", 2400, 8, 0, 0, true}, DcbCase{"Baud3600", 3600, 8, 0, 0, true},
        DcbCase{"Baud4800", 4800, 8, 0, 0, true}, DcbCase{"Baud7200", 7200, 8, 0, 0, true},
        DcbCase{"Baud12800", 12800, 8, 0, 0, true}, DcbCase{"Baud14400", 14400, 8, 0, 0, true},
        DcbCase{"Baud19200", 19200, 8, 0, 0, true}, DcbCase{"Baud23040", 23040, 8, 0, 0, true},
        DcbCase{"Baud28800", 28800, 8, 0, 0, true}, DcbCase{"Baud38400", 38400, 8, 0, 0, true},
        DcbCase{"Baud57600", 57600, 8, 0, 0, true}, DcbCase{"Baud115200", 115200, 8, 0, 0, true},
        DcbCase{"Baud56000", 56000, 8, 0, 0, false}, DcbCase{"Baud128000", 128000, 8, 0, 0, false},
        DcbCase{"Baud230400", 230400, 8, 0, 0, false}, DcbCase{"Baud134", 134, 8, 0, 0, false},
        DcbCase{"Baud0", 0, 8, 0, 0, false}, DcbCase{"FiveDataBits", 9600, 5, 0, 0, true},
        DcbCase{"FourDataBits", 9600, 4, 0, 0, false}, DcbCase{"NineDataBits", 9600, 9, 0, 0, false},
        DcbCase{"SpaceParity", 9600, 8, SPACEPARITY, 0, true}, DcbCase{"ParityFive", 9600, 8, 5, 0, false},
        DcbCase{"OneAndAHalfStopBits", 9600, 8, 0, ONE5STOPBITS, true},
        DcbCase{"TwoStopBits", 9600, 8, 0, TWOSTOPBITS, true},
        DcbCase{"StopBitsThree", 9600, 8, 0, 3, false}),
    CaseName);

class SettingsTest : public SetDcbTest {};

TEST_F(SettingsTest, AcceptedRateStaysWhenALaterCheckRefuses) {
    ASSERT_NE(OpenData(a_), nullptr);
    DCB next = Stored(a_);
    next.BaudRate = 19200;
    next.ByteSize = 9;
    EXPECT_FALSE(Ops(a_).SetDCB(Vp(a_), &next));
    EXPECT_EQ(Stored(a_).BaudRate, 19200u);
    EXPECT_EQ(Stored(a_).ByteSize, 8u);
}

// Only what changes is checked: a value accepted while closed stands until it is changed.
TEST_F(SettingsTest, UnchangedSettingIsNotCheckedAgain) {
    DCB closed = Stored(a_);
    closed.ByteSize = 9;
    ASSERT_TRUE(Ops(a_).SetDCB(Vp(a_), &closed));
    ASSERT_EQ(Ops(a_).Open(Vp(a_)), 1u);
    DCB next = closed;
    next.BaudRate = 38400;
    EXPECT_TRUE(Ops(a_).SetDCB(Vp(a_), &next));
    Ops(a_).Close(Vp(a_));
}

TEST_F(SettingsTest, TimeoutsAreStored) {
    const COMMTIMEOUTS timeouts = {1, 2, 3, 4, 5};
    EXPECT_EQ(Ops(a_).SetCommTimeouts(Vp(a_), &timeouts), 0u);
    LockGuard reg(Vp(a_)->registerLock);
    EXPECT_EQ(std::memcmp(&Vp(a_)->timeouts, &timeouts, sizeof(timeouts)), 0);
}

TEST_F(SettingsTest, CommPropertiesFillTheWholeRecord) {
    for (const int fill : {0x00, 0xFF}) {
        COMMPROP prop;
        std::memset(&prop, fill, sizeof(prop));
        Ops(a_).GetCommProperties(Vp(a_), &prop);
        EXPECT_EQ(prop.wPacketLength, 0xFFFF);
        EXPECT_EQ(prop.wPacketVersion, 0xFFFF);
        EXPECT_EQ(prop.dwServiceMask, SP_SERIALCOMM);
        EXPECT_EQ(prop.dwReserved1, 0u);
        EXPECT_EQ(prop.dwMaxTxQueue, 16u);
        EXPECT_EQ(prop.dwMaxRxQueue, 16u);
        EXPECT_EQ(prop.dwMaxBaud, 0x00020000u);
        EXPECT_EQ(prop.dwProvSubType, PST_RS232);
        EXPECT_EQ(prop.dwProvCapabilities, 0x000001FFu);
        EXPECT_EQ(prop.dwSettableParams, 0x0000007Fu);
        EXPECT_EQ(prop.dwSettableBaud, 0x1007FFFBu);
        EXPECT_EQ(prop.wSettableData, 0x000F);
        EXPECT_EQ(prop.wSettableStopParity, 0x1F05);
        EXPECT_EQ(prop.dwCurrentTxQueue, 0u);
        EXPECT_EQ(prop.dwCurrentRxQueue, 0u);
        EXPECT_EQ(prop.dwProvSpec1, 0u);
        EXPECT_EQ(prop.dwProvSpec2, 0u);
        EXPECT_EQ(prop.wcProvChar[0], 0);
    }
}

TEST_F(SettingsTest, OtherControlCodesAreNotHandled) {
    for (const DWORD code : {static_cast<DWORD>(IOCTL_SERIAL_GET_DCB), 0x00321000u, 0u, 0x001B0070u}) {
        DWORD returned = tulktest::kUnsetError;
        EXPECT_FALSE(Ops(a_).Ioctl(Vp(a_), code, nullptr, 0, nullptr, 0, &returned)) << std::hex << code;
        EXPECT_EQ(returned, tulktest::kUnsetError);
    }
}

struct OpenStateCase {
    const char* name;
    DWORD appAccess;  // a handle an application holds on the port besides the asker's; 0 for none
    DWORD expected;
    friend void PrintTo(const OpenStateCase& c, std::ostream* os) { *os << c.name; }
};

class OpenStateTest : public tulktest::DriverTest, public ::testing::WithParamInterface<OpenStateCase> {};

// The manager asks with a handle of access 0, through the device manager, as on the device.
TEST_P(OpenStateTest, AnswersOneOnlyForAnApplicationsDataOpen) {
    const OpenStateCase& c = GetParam();
    const tulktest::PortKey port = tulktest::PairEnd(u"COM", 0);
    const tulktest::PortKey partner = tulktest::PairEnd(u"COM", 1);
    ASSERT_NE(tulktest::ActivatePort(port), nullptr);
    ASSERT_NE(tulktest::ActivatePort(partner), nullptr);
    HANDLE partnerFile = tulktest::OpenByName(tulktest::DeviceName(partner), GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(partnerFile, INVALID_HANDLE_VALUE);
    HANDLE app = INVALID_HANDLE_VALUE;
    if (c.appAccess != 0) {
        app = tulktest::OpenByName(tulktest::DeviceName(port), c.appAccess);
        ASSERT_NE(app, INVALID_HANDLE_VALUE);
    }
    HANDLE asker = tulktest::OpenByName(tulktest::DeviceName(port), 0);
    ASSERT_NE(asker, INVALID_HANDLE_VALUE);
    EXPECT_EQ(tulktest::QueryOpenState(asker), c.expected);
    if (app != INVALID_HANDLE_VALUE) {
        CloseHandle(app);
        EXPECT_EQ(tulktest::QueryOpenState(asker), 0u) << "still in use after the application closed";
    }
    CloseHandle(asker);
    CloseHandle(partnerFile);
}

INSTANTIATE_TEST_SUITE_P(Opens, OpenStateTest,
                         ::testing::Values(OpenStateCase{"OnlyTheAsker", 0, 0},
                                           OpenStateCase{"Reader", GENERIC_READ, 1},
                                           OpenStateCase{"Writer", GENERIC_WRITE, 1},
                                           OpenStateCase{"ReaderWriter", GENERIC_READ | GENERIC_WRITE, 1}),
                         [](const ::testing::TestParamInfo<OpenStateCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace vtest
