// The null-modem wiring of a pair at a first open, modem status and its events, the end of hardware flow
// control's holds, status reports. (The wiring and holds through the comm API are the serial tests'.)
#include "driver/virtual/virtual_fixture.h"

namespace vtest {
namespace {

constexpr DWORD kFirstOpenLines = MS_DSR_ON | MS_RLSD_ON;

class ModemTest : public VirtualPortTest {
  protected:
    void SetUp() override {
        VirtualPortTest::SetUp();
        CreatePair();
    }
    static DWORD ModemStatus(PortState* state, DWORD prefill = 0) {
        DWORD word = prefill;
        Ops(state).GetModemStatus(Vp(state), &word);
        return word;
    }
};

// A first open shows the lines of an open partner as the cable carries them, and DSR and DCD on, CTS off
// while the partner is closed, whatever that partner did before it closed; both report DSR and DCD changed.
// A first open with nobody to report its lines to does not fail, and leaves the thread's last error alone.
TEST_F(ModemTest, FirstOpenShowsAnOpenPartnersLinesElseDsrAndDcd) {
    SetLastError(tulktest::kUnsetError);
    OpenContext* b = OpenData(b_);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(GetLastError(), tulktest::kUnsetError);
    Ops(b_).SetRTS(Vp(b_));
    Ops(b_).ClearDTR(Vp(b_));
    RecordEvents(a_);
    OpenContext* a = OpenData(a_);
    ASSERT_NE(a, nullptr);
    const EventRecord record = TakeEvents(a_);
    EXPECT_EQ(record.events, EV_DSR | EV_RLSD);
    EXPECT_EQ(record.calls, 1);
    EXPECT_EQ(ModemStatus(a_), static_cast<DWORD>(MS_CTS_ON));
    // The caller's word is added to, never cleared.
    EXPECT_EQ(ModemStatus(a_, 0x40000000u), 0x40000000u | MS_CTS_ON);
    EXPECT_EQ(TakeEvents(a_).calls, 0) << "changes reported twice";

    // B reopens after A drove its lines: it sees them. A reopens while B is closed: the closed partner's
    // lines are DSR and DCD on, CTS off.
    Ops(a_).SetRTS(Vp(a_));
    CloseHandleOf(b);
    ASSERT_NE(b = OpenData(b_), nullptr);
    EXPECT_EQ(ModemStatus(b_), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    CloseHandleOf(b);
    CloseHandleOf(a);
    ASSERT_NE(OpenData(a_), nullptr);
    EXPECT_EQ(ModemStatus(a_), kFirstOpenLines);
}

// A change nobody watches sets the level only: no report wakes the partner, and a wait begun afterwards
// is not handed an event from before it. Changes made while the partner watches are reported as events by
// the next modem status query, all in one.
TEST_F(ModemTest, WatchedChangesAreReportedByTheNextStatusQueryAndUnwatchedOnesNever) {
    ASSERT_NO_FATAL_FAILURE(OpenPair());
    Ops(a_).SetRTS(Vp(a_));
    Ops(a_).ClearDTR(Vp(a_));
    EXPECT_EQ(Ops(b_).GetInterruptType(Vp(b_)), kInterruptNone);
    RecordEvents(b_);
    EXPECT_EQ(ModemStatus(b_), MS_CTS_ON);
    EXPECT_EQ(TakeEvents(b_).calls, 0) << "a change from before the watch was reported";

    Ops(a_).ClearRTS(Vp(a_));
    Ops(a_).SetDTR(Vp(a_));
    EXPECT_EQ(ModemStatus(b_), kFirstOpenLines);
    const EventRecord record = TakeEvents(b_);
    EXPECT_EQ(record.events, EV_CTS | EV_DSR | EV_RLSD);
    EXPECT_EQ(record.calls, 1);
}

struct HoldCase {
    const char* name;
    void (*enable)(DCB*);
    bool dropDtr;  // on the partner, before the write: DSR off
    bool reopen;   // a first open ends the hold, else switching the flow control off
};

class FlowControlTest : public ModemTest, public ::testing::WithParamInterface<HoldCase> {};

// Switching the flow control off lets a held write go on; it must not wait for a line nobody will raise. A
// first open starts without the holds of the handle before it.
TEST_P(FlowControlTest, SwitchingTheFlowControlOffOrAFirstOpenEndsTheHold) {
    const HoldCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(OpenPair());
    ASSERT_TRUE(ChangeDcb(a_, c.enable));
    if (c.dropDtr) {
        Ops(b_).ClearDTR(Vp(b_));
    }
    const BYTE data[] = {1};
    DWORD count = sizeof(data);
    Ops(a_).TxIntr(Vp(a_), data, &count);
    ASSERT_EQ(count, 0u);
    if (c.reopen) {
        CloseHandleOf(handleA_);
        ASSERT_NE(OpenData(a_), nullptr);
    } else {
        WaitForSingleObject(a_->TransmitEvent, 0);
        ASSERT_TRUE(ChangeDcb(a_, [](DCB* d) {
            d->fOutxCtsFlow = 0;
            d->fOutxDsrFlow = 0;
        }));
        EXPECT_EQ(WaitForSingleObject(a_->TransmitEvent, 0), WAIT_OBJECT_0)
            << "the held writer was not let go";
    }
    COMSTAT status{};
    EXPECT_EQ(Ops(a_).GetStatus(Vp(a_), &status), 0u);
    EXPECT_EQ(status.fCtsHold, 0u);
    EXPECT_EQ(status.fDsrHold, 0u);
}

INSTANTIATE_TEST_SUITE_P(Holds, FlowControlTest,
                         ::testing::Values(HoldCase{"Cts", [](DCB* d) { d->fOutxCtsFlow = 1; }, false, false},
                                           HoldCase{"Dsr", [](DCB* d) { d->fOutxDsrFlow = 1; }, true, false},
                                           HoldCase{"CtsReopened", [](DCB* d) { d->fOutxCtsFlow = 1; }, false,
                                                    true}),
                         tulktest::RowName{});

// Caller records the layer cannot reach get the defined answer, not a crash.
TEST_F(ModemTest, BadCallerPointersGetDefinedResults) {
    ASSERT_NE(OpenData(a_), nullptr);
    auto* const bad = reinterpret_cast<COMSTAT*>(0x10);
    EXPECT_EQ(Ops(a_).GetStatus(Vp(a_), nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(Ops(a_).GetStatus(Vp(a_), bad), 0xFFFFFFFFu);
    Ops(a_).GetModemStatus(Vp(a_), reinterpret_cast<DWORD*>(0x10));
    Ops(a_).GetModemStatus(Vp(a_), nullptr);
    Ops(a_).GetCommProperties(Vp(a_), reinterpret_cast<COMMPROP*>(0x10));
    EXPECT_FALSE(Ops(a_).SetDCB(Vp(a_), reinterpret_cast<const DCB*>(0x10)));
    EXPECT_FALSE(Ops(a_).SetDCB(Vp(a_), nullptr));
    EXPECT_EQ(Ops(a_).SetCommTimeouts(Vp(a_), reinterpret_cast<const COMMTIMEOUTS*>(0x10)), 0u);
    EXPECT_FALSE(Ops(a_).Ioctl(Vp(a_), kIoctlPortOpenState, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(ModemStatus(a_), kFirstOpenLines) << "a failed call changed the port";
}

}  // namespace
}  // namespace vtest
