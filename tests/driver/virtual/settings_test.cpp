// Acceptance of line settings and the control codes the layer leaves to the core. (The open-state query is
// the store's enumeration tests'.)
#include <cstring>

#include <pegdser.h>

#include "driver/virtual/virtual_fixture.h"

namespace vtest {
namespace {

enum class Field { kBaudRate, kByteSize, kParity, kStopBits };

struct DcbCase {
    Field field;
    DWORD value;
    bool accepted;  // by an open port
    friend void PrintTo(const DcbCase& c, std::ostream* os) {
        *os << static_cast<int>(c.field) << ":" << c.value;
    }
};

DCB With(DCB dcb, const DcbCase& c) {
    switch (c.field) {
        case Field::kBaudRate:
            dcb.BaudRate = c.value;
            break;
        case Field::kByteSize:
            dcb.ByteSize = static_cast<BYTE>(c.value);
            break;
        case Field::kParity:
            dcb.Parity = static_cast<BYTE>(c.value);
            break;
        case Field::kStopBits:
            dcb.StopBits = static_cast<BYTE>(c.value);
            break;
    }
    return dcb;
}

// Every rate a 16550 on a 115200 Hz clock does, settings next to them that it cannot, and values a
// program might expect from the settable-rate bits (56000, 128000) that are still refused.
std::vector<DcbCase> DcbCases() {
    std::vector<DcbCase> cases;
    for (const DWORD rate : {50,   75,   110,  135,   150,   300,   600,   1200,  1800,  2000,  2400,
                             3600, 4800, 7200, 12800, 14400, 19200, 23040, 28800, 38400, 57600, 115200}) {
        cases.push_back({Field::kBaudRate, rate, true});
    }
    for (const DWORD rate : {0, 134, 56000, 128000, 230400}) {
        cases.push_back({Field::kBaudRate, rate, false});
    }
    for (const DWORD value : {4, 5, 7, 9}) {
        cases.push_back({Field::kByteSize, value, value >= 5 && value <= 8});
    }
    for (const DWORD value : {1, 4, 5}) {
        cases.push_back({Field::kParity, value, value <= SPACEPARITY});
    }
    for (const DWORD value : {ONE5STOPBITS, TWOSTOPBITS, 3}) {
        cases.push_back({Field::kStopBits, value, value <= TWOSTOPBITS});
    }
    return cases;
}

class SettingsTest : public VirtualPortTest {
  protected:
    void SetUp() override {
        VirtualPortTest::SetUp();
        CreatePair();
    }
    static DCB Stored(PortState* state) {
        LockGuard reg(Vp(state)->registerLock);
        return Vp(state)->dcb;
    }
};

class SetDcbTest : public SettingsTest, public ::testing::WithParamInterface<DcbCase> {};

TEST_P(SetDcbTest, OpenPortChecksTheChangedSetting) {
    ASSERT_NE(OpenData(a_), nullptr);
    const DCB before = Stored(a_);
    const DCB next = With(before, GetParam());
    EXPECT_EQ(Ops(a_).SetDCB(Vp(a_), &next), GetParam().accepted ? TRUE : FALSE);
    const DCB after = Stored(a_);
    EXPECT_EQ(std::memcmp(&after, GetParam().accepted ? &next : &before, sizeof(DCB)), 0);
}

TEST_P(SetDcbTest, ClosedPortTakesAnythingAndStillOpens) {
    const DCB next = With(Stored(a_), GetParam());
    EXPECT_TRUE(Ops(a_).SetDCB(Vp(a_), &next));
    const DCB after = Stored(a_);
    EXPECT_EQ(std::memcmp(&after, &next, sizeof(DCB)), 0);
    EXPECT_EQ(Ops(a_).Open(Vp(a_)), 1u);
    Ops(a_).Close(Vp(a_));
}

INSTANTIATE_TEST_SUITE_P(Settings, SetDcbTest, ::testing::ValuesIn(DcbCases()));

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
    DCB next = Stored(a_);
    next.ByteSize = 9;
    ASSERT_TRUE(Ops(a_).SetDCB(Vp(a_), &next));
    ASSERT_EQ(Ops(a_).Open(Vp(a_)), 1u);
    next.BaudRate = 38400;
    EXPECT_TRUE(Ops(a_).SetDCB(Vp(a_), &next));
    Ops(a_).Close(Vp(a_));
}

TEST_F(SettingsTest, OtherControlCodesAreNotHandled) {
    for (const DWORD code : {static_cast<DWORD>(IOCTL_SERIAL_GET_DCB), 0x00321000u, 0u, 0x001B0070u}) {
        DWORD returned = tulktest::kUnsetError;
        EXPECT_FALSE(Ops(a_).Ioctl(Vp(a_), code, nullptr, 0, nullptr, 0, &returned)) << std::hex << code;
        EXPECT_EQ(returned, tulktest::kUnsetError);
    }
}

}  // namespace
}  // namespace vtest
