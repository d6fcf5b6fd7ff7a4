// Software flow control: the XON and XOFF characters a port receives hold and release its own writes and
// never reach its reader; the characters a port sends as its ring fills and drains, seen raw on a partner
// that does no XON/XOFF itself; the XON/XOFF controls and the purge that releases the partner.
#include <cstring>

#include "driver/serial/serial_fixture.h"

namespace serialtest {
namespace {

using serialtest::PrintTo;

struct XFlowMode {
    const char* name;
    bool outX;
    bool inX;
};

const XFlowMode kXFlowModes[] = {{"OutX", true, false}, {"InX", false, true}, {"Both", true, true}};

void SetXFlow(HANDLE port, const XFlowMode& mode) {
    ChangeState(port, [&](DCB& dcb) {
        dcb.fOutX = mode.outX ? 1 : 0;
        dcb.fInX = mode.inX ? 1 : 0;
    });
}

// Whatever the port's partner receives from now on for a while: nothing is expected.
void ExpectNothingArrives(HANDLE port) {
    Sleep(kQuietMs);
    EXPECT_EQ(InQueue(port), 0u);
}

class XFlowModeTest : public PairTest, public ::testing::WithParamInterface<XFlowMode> {};

TEST_P(XFlowModeTest, FlowCharactersNeverReachTheReader) {
    SetXFlow(b_, GetParam());
    const std::vector<BYTE> sent = {'a', kXoff, 'b', kXon, 'c', kXoff, kXon};
    ASSERT_EQ(Write(a_, sent), sent.size());
    EXPECT_EQ(Drain(b_), (std::vector<BYTE>{'a', 'b', 'c'}));
}

TEST_P(XFlowModeTest, ArrivingXoffHoldsOwnWritesUntilXon) {
    SetXFlow(b_, GetParam());
    ASSERT_EQ(Write(a_, {kXoff}), 1u);
    EXPECT_EQ(Status(b_).fXoffHold, 1u);

    const std::vector<BYTE> bytes = Stream(3).Take(10);
    Transfer write;
    Background writer([&] { write = WriteCall(b_, bytes.data(), 10); });
    EXPECT_FALSE(writer.Wait(kQuietMs));
    EXPECT_EQ(InQueue(a_), 0u);
    EXPECT_EQ(Status(b_).cbOutQue, 10u);

    ASSERT_EQ(Write(a_, {kXon}), 1u);
    ASSERT_TRUE(writer.Wait(kSoonMs));
    EXPECT_EQ(write.bytes, 10u);
    EXPECT_EQ(Drain(a_), bytes);
    EXPECT_EQ(Status(b_).fXoffHold, 0u);
}

// A full ring loses data (once it has waited its line time), but the flow characters still act, however they
// were sent; they take no room.
TEST_P(XFlowModeTest, FlowCharactersActWhenTheRingIsFull) {
    DWORD errors = 0;  // written flow characters are lost data: CE_RXOVER, which this test leaves aside
    SetXFlow(b_, GetParam());
    // Only what arrives holds the port: its own XOFF at the limit does not.
    ChangeState(b_, [](DCB& dcb) { dcb.fTXContinueOnXoff = 1; });
    SetTimeouts(b_, {MAXDWORD, 0, 0, 0, 200});
    ASSERT_EQ(Write(a_, Stream(8).Take(kRingCapacity)), kRingCapacity);
    ASSERT_EQ(InQueue(b_), kRingCapacity);
    const std::vector<BYTE> bytes = Stream(9).Take(10);
    for (bool immediateXoff : {false, true}) {
        SCOPED_TRACE(immediateXoff ? "XOFF sent as an immediate character" : "XOFF written");
        if (immediateXoff) {
            EXPECT_TRUE(TransmitCommChar(a_, static_cast<char>(kXoff)));
        } else {
            ASSERT_EQ(Write(a_, {kXoff}), 1u);
        }
        EXPECT_TRUE(tulktest::WaitUntil([&] { return Status(b_, &errors).fXoffHold == 1; }, kSoonMs));
        EXPECT_EQ(Write(b_, bytes), 0u);

        if (immediateXoff) {
            ASSERT_EQ(Write(a_, {kXon}), 1u);
        } else {
            EXPECT_TRUE(TransmitCommChar(a_, static_cast<char>(kXon)));
        }
        EXPECT_TRUE(tulktest::WaitUntil([&] { return Status(b_, &errors).fXoffHold == 0; }, kSoonMs));
        EXPECT_EQ(Write(b_, bytes), 10u);
    }
    EXPECT_EQ(Status(b_, &errors).cbInQue, kRingCapacity);
}

INSTANTIATE_TEST_SUITE_P(Modes, XFlowModeTest, ::testing::ValuesIn(kXFlowModes), RowName{});

class XFlowTest : public PairTest {};

// A reopen empties the ring, wherever the last reader left it, and resets the settings, XON/XOFF with them:
// the port then treats the flow characters as data and holds nothing on them, as the settings it reports
// say. The timeouts stay; and a data open while an access-0 handle stays open is no first open, so it keeps
// the settings and what they switched on.
TEST_F(XFlowTest, AReopenedPortStartsEmptyWithFreshSettingsAndKeepsItsTimeouts) {
    constexpr COMMTIMEOUTS kCustom = {MAXDWORD, 0, 0, 0, kQuietMs};
    ChangeState(b_, [](DCB& dcb) {
        dcb.fOutX = dcb.fInX = 1;
        dcb.BaudRate = CBR_19200;
    });
    SetTimeouts(b_, kCustom);
    ASSERT_EQ(Write(a_, Stream(40).Take(9)), 9u);
    ASSERT_TRUE(WaitForInQueue(b_, 9));
    EXPECT_EQ(Read(b_, 3).size(), 3u);
    ASSERT_TRUE(CloseHandle(b_));
    b_ = tulktest::OpenByName(Name(1), kData);
    ASSERT_NE(b_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    const DCB dcb = GetState(b_);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(CBR_9600));
    COMMTIMEOUTS timeouts{};
    EXPECT_TRUE(GetCommTimeouts(b_, &timeouts));
    EXPECT_EQ(std::memcmp(&timeouts, &kCustom, sizeof(timeouts)), 0) << "the reopen reset the timeouts";
    const std::vector<BYTE> sent = {'a', kXoff, 'b', kXon, kXoff};
    ASSERT_EQ(Write(a_, sent), sent.size());
    EXPECT_EQ(Drain(b_), sent);
    SetTimeouts(b_, kCustom);
    EXPECT_EQ(Write(b_, {'z'}), 1u) << "an XOFF that was data held the port";
    EXPECT_EQ(Drain(a_), std::vector<BYTE>{'z'});

    Reopen(1, 0);
    ChangeState(b_, [](DCB& dcb) { dcb.fOutX = 1; });
    ASSERT_TRUE(CloseHandle(b_));
    b_ = tulktest::OpenByName(Name(1), kData);
    ASSERT_NE(b_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    EXPECT_EQ(GetState(b_).fOutX, 1u);
    Escape(b_, SETXOFF);
    EXPECT_EQ(Status(b_).fXoffHold, 1u);
}

TEST_F(XFlowTest, SendsOneXoffAtTheLimitAndOneXonWhenReadBelowIt) {
    ChangeState(b_, [](DCB& dcb) { dcb.fInX = 1; });
    SetTimeouts(b_, kReturnAtOnce);
    SetTimeouts(a_, WaitForAny(kSoonMs));

    ASSERT_EQ(Write(a_, Stream(1).Take(kXoffFill - 1)), kXoffFill - 1);
    ExpectNothingArrives(a_);
    EXPECT_EQ(Status(b_).fXoffSent, 0u);

    ASSERT_EQ(Write(a_, Stream(2).Take(1)), 1u);
    EXPECT_EQ(Read(a_, 10), std::vector<BYTE>{kXoff});
    EXPECT_EQ(Status(b_).fXoffSent, 1u);

    // Past the limit, and reading back down to it, sends nothing more.
    ASSERT_EQ(Write(a_, Stream(3).Take(100)), 100u);
    EXPECT_EQ(Read(b_, 100).size(), 100u);
    EXPECT_EQ(InQueue(b_), kXoffFill);
    ExpectNothingArrives(a_);

    EXPECT_EQ(Read(b_, 1).size(), 1u);
    EXPECT_EQ(Read(a_, 10), std::vector<BYTE>{kXon});
    EXPECT_EQ(Status(b_).fXoffSent, 0u);

    EXPECT_EQ(Read(b_, kRingBytes).size(), kXoffFill - 1);
    ExpectNothingArrives(a_);
}

// The XON/XOFF controls act only while the DCB in force enables XON/XOFF, and they send no character. (How
// SETXON releases a held write is the output flow tests'.)
TEST_F(XFlowTest, SetXoffHoldsOnlyWithXFlowAndSendsNothing) {
    const std::vector<BYTE> bytes = Stream(4).Take(20);
    SetTimeouts(a_, {MAXDWORD, 0, 0, 0, kQuietMs});  // a write held by mistake ends instead of hanging
    for (bool xflow : {false, true}) {
        SCOPED_TRACE(xflow ? "with XON/XOFF" : "without XON/XOFF");
        ChangeState(a_, [&](DCB& dcb) { dcb.fOutX = xflow ? 1 : 0; });
        Escape(a_, SETXOFF);
        const COMSTAT status = Status(a_);
        EXPECT_EQ(status.fXoffHold, xflow ? 1u : 0u);
        EXPECT_EQ(status.fXoffSent, xflow ? 1u : 0u);
        ExpectNothingArrives(b_);
        if (!xflow) {
            EXPECT_EQ(Write(a_, bytes), 20u);
            EXPECT_EQ(Drain(b_), bytes);
        }
    }
}

// Which purges of a port that sent XOFF send XON: only one that clears the receive side, at once, whatever
// the fill; the others keep the ring and the XOFF in force.
struct PurgeAfterXoffCase {
    const char* name;
    DWORD flags;
    bool clears;
};

const PurgeAfterXoffCase kPurgeAfterXoffCases[] = {
    {"RxClear", PURGE_RXCLEAR, true},
    {"AllFlags", PURGE_RXCLEAR | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_TXABORT, true},
    {"RxAbort", PURGE_RXABORT, false},
    {"TxClear", PURGE_TXCLEAR, false},
    {"TxAbort", PURGE_TXABORT, false},
};

class PurgeAfterXoffTest : public PairTest, public ::testing::WithParamInterface<PurgeAfterXoffCase> {};

TEST_P(PurgeAfterXoffTest, OnlyAReceivePurgeSendsXon) {
    const PurgeAfterXoffCase& c = GetParam();
    ChangeState(b_, [](DCB& dcb) { dcb.fInX = 1; });
    SetTimeouts(a_, WaitForAny(kSoonMs));
    ASSERT_EQ(Write(a_, Stream(5).Take(kXoffFill)), kXoffFill);
    ASSERT_EQ(Read(a_, 10), std::vector<BYTE>{kXoff});

    ASSERT_TRUE(PurgeComm(b_, c.flags)) << "error " << GetLastError();
    if (c.clears) {
        EXPECT_EQ(Read(a_, 10), std::vector<BYTE>{kXon});
        EXPECT_EQ(InQueue(b_), 0u);
        EXPECT_EQ(Status(b_).fXoffSent, 0u);
    } else {
        ExpectNothingArrives(a_);
        EXPECT_EQ(InQueue(b_), kXoffFill);
        EXPECT_EQ(Status(b_).fXoffSent, 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Flags, PurgeAfterXoffTest, ::testing::ValuesIn(kPurgeAfterXoffCases), RowName{});

// Switching XON/XOFF off never leaves a hold that nothing could release: the XOFF a port sent is taken back
// with an XON and its own held output goes on; a received XOFF stops holding once neither direction uses it.
TEST_F(XFlowTest, SwitchingXFlowOffReleasesEveryHold) {
    ChangeState(b_, [](DCB& dcb) {
        dcb.fInX = 1;
        dcb.fTXContinueOnXoff = 0;
    });
    SetTimeouts(a_, WaitForAny(kSoonMs));
    SetTimeouts(b_, {MAXDWORD, MAXDWORD, kSoonMs, 0, kQuietMs});  // a held write gives up
    ASSERT_EQ(Write(a_, Stream(6).Take(kXoffFill)), kXoffFill);
    ASSERT_EQ(Read(a_, 10), std::vector<BYTE>{kXoff});
    const std::vector<BYTE> reply = Stream(7).Take(5);
    EXPECT_EQ(WriteCall(b_, reply.data(), 5).bytes, 0u) << "our own XOFF should hold our output";

    ChangeState(b_, [](DCB& dcb) { dcb.fInX = 0; });
    EXPECT_EQ(Read(a_, 10), std::vector<BYTE>{kXon});
    EXPECT_EQ(Status(b_).fXoffSent, 0u);
    EXPECT_EQ(WriteCall(b_, reply.data(), 5).bytes, 5u);
    EXPECT_EQ(Read(a_, 10), reply);

    ChangeState(a_, [](DCB& dcb) { dcb.fOutX = 1; });
    Escape(a_, SETXOFF);
    ASSERT_EQ(Status(a_).fXoffHold, 1u);
    ChangeState(a_, [](DCB& dcb) { dcb.fOutX = 0; });
    EXPECT_EQ(Status(a_).fXoffHold, 0u);
    ASSERT_EQ(Write(a_, reply), 5u);
}

}  // namespace
}  // namespace serialtest
