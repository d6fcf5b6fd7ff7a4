// Hardware flow control seen through the null-modem wiring: a receiver in handshake mode drops and raises
// its DTR or RTS as its ring fills and drains (the partner's DSR/DCD or CTS follow), a writer with output
// flow control waits for its CTS or DSR, every mode stops a write right after the piece that filled the
// receiver, and RTS toggles around a write.
#include <algorithm>
#include <ctime>

#include "driver/serial/serial_fixture.h"

namespace serialtest {
namespace {

using serialtest::PrintTo;

bool LinesOn(HANDLE port, DWORD lines) {
    return (ModemLines(port) & lines) == lines;
}

bool LinesOff(HANDLE port, DWORD lines) {
    return (ModemLines(port) & lines) == 0;
}

// A line that must not change is given a moment to prove it.
void ExpectLinesStay(HANDLE port, DWORD lines, bool on) {
    Sleep(50);
    EXPECT_TRUE(on ? LinesOn(port, lines) : LinesOff(port, lines)) << "modem status " << ModemLines(port);
}

struct HandshakeCase {
    const char* name;
    void (*enable)(DCB& dcb);
    DWORD partnerLines;  // what the partner sees of the handshake line
};

const HandshakeCase kHandshakeCases[] = {
    {"Dtr", [](DCB& dcb) { dcb.fDtrControl = DTR_CONTROL_HANDSHAKE; }, MS_DSR_ON | MS_RLSD_ON},
    {"Rts", [](DCB& dcb) { dcb.fRtsControl = RTS_CONTROL_HANDSHAKE; }, MS_CTS_ON},
};

class HandshakeTest : public PairTest, public ::testing::WithParamInterface<HandshakeCase> {};

// The line follows the receiver's ring; the application may not drive it meanwhile, only the other line.
TEST_P(HandshakeTest, LineDropsAboveThreeQuartersAndRisesBelowHalf) {
    const HandshakeCase& c = GetParam();
    ChangeState(b_, c.enable);
    ASSERT_TRUE(tulktest::WaitUntil([&] { return LinesOn(a_, c.partnerLines); }, kSoonMs));
    const bool dtr = c.partnerLines != MS_CTS_ON;
    for (DWORD function : {dtr ? CLRDTR : CLRRTS, dtr ? SETDTR : SETRTS}) {
        SetLastError(kUnsetError);
        EXPECT_FALSE(EscapeCommFunction(b_, function)) << function;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        ExpectLinesStay(a_, c.partnerLines, true);
    }
    Escape(b_, dtr ? SETRTS : CLRDTR);
    EXPECT_TRUE(tulktest::WaitUntil(
        [&] { return dtr ? LinesOn(a_, MS_CTS_ON) : LinesOff(a_, MS_DSR_ON | MS_RLSD_ON); }, kSoonMs));

    SetTimeouts(b_, kReturnAtOnce);
    ASSERT_EQ(Write(a_, Stream(1).Take(kHandshakeDropAbove)), kHandshakeDropAbove);
    ExpectLinesStay(a_, c.partnerLines, true);
    ASSERT_EQ(Write(a_, Stream(2).Take(1)), 1u);
    EXPECT_TRUE(tulktest::WaitUntil([&] { return LinesOff(a_, c.partnerLines); }, kSoonMs));

    const DWORD toHalf = kHandshakeDropAbove + 1 - kHandshakeRaiseBelow;
    ASSERT_EQ(Read(b_, toHalf).size(), toHalf);
    ExpectLinesStay(a_, c.partnerLines, false);
    ASSERT_EQ(Read(b_, 1).size(), 1u);
    EXPECT_TRUE(tulktest::WaitUntil([&] { return LinesOn(a_, c.partnerLines); }, kSoonMs));
}

INSTANTIATE_TEST_SUITE_P(Lines, HandshakeTest, ::testing::ValuesIn(kHandshakeCases), RowName{});

// Output flow control: a write waits for its CTS or DSR, which the partner drives with RTS or DTR.
struct OutputFlowCase {
    const char* name;
    void (*enable)(DCB& dcb);
    DWORD hold;     // on the partner, or on the writer itself for XOFF
    DWORD release;  // the same
    bool onPartner;
    DWORD holdBit;  // of the COMSTAT flag word: fCtsHold 1, fDsrHold 2, fXoffHold 8
};

const OutputFlowCase kOutputFlowCases[] = {
    {"Cts", [](DCB& dcb) { dcb.fOutxCtsFlow = 1; }, CLRRTS, SETRTS, true, 0x1},
    {"Dsr", [](DCB& dcb) { dcb.fOutxDsrFlow = 1; }, CLRDTR, SETDTR, true, 0x2},
    {"Xoff", [](DCB& dcb) { dcb.fOutX = 1; }, SETXOFF, SETXON, false, 0x8},
};

constexpr DWORD kHoldBits = 0x1 | 0x2 | 0x4 | 0x8;

DWORD HoldBits(const COMSTAT& status) {
    return (status.fCtsHold ? 0x1 : 0) | (status.fDsrHold ? 0x2 : 0) | (status.fRlsdHold ? 0x4 : 0) |
           (status.fXoffHold ? 0x8 : 0);
}

class OutputFlowTest : public PairTest, public ::testing::WithParamInterface<OutputFlowCase> {
  protected:
    void Hold() {
        ChangeState(a_, GetParam().enable);
        Escape(GetParam().onPartner ? b_ : a_, GetParam().hold);
    }
    void Release() { Escape(GetParam().onPartner ? b_ : a_, GetParam().release); }
};

// A held write sleeps: over a held second the whole process uses little processor time.
TEST_P(OutputFlowTest, WriteWaitsWithoutSpinningUntilReleased) {
    constexpr DWORD kHeldMs = 1000;
    constexpr double kMostCpuSeconds = 0.3;
    const OutputFlowCase& c = GetParam();
    Hold();
    const std::vector<BYTE> bytes = Stream(3).Take(50);
    Transfer write;
    Background writer([&] { write = WriteCall(a_, bytes.data(), 50); });
    Sleep(100);  // the write has started and is held
    const std::clock_t start = std::clock();
    EXPECT_FALSE(writer.Wait(kHeldMs));
    const double cpuSeconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    EXPECT_LT(cpuSeconds, kMostCpuSeconds) << "the held write keeps the processor busy";
    EXPECT_EQ(InQueue(b_), 0u);
    COMSTAT status = Status(a_);
    EXPECT_EQ(HoldBits(status) & kHoldBits, c.holdBit);
    EXPECT_EQ(status.cbOutQue, 50u);

    const ce_test::Stopwatch clock;
    Release();
    ASSERT_TRUE(writer.Wait(kSoonMs));
    EXPECT_LE(clock.ElapsedMs(), ce_test::UpperBoundMs(0)) << "the release did not let the write go at once";
    EXPECT_EQ(write.bytes, 50u);
    EXPECT_EQ(Drain(b_), bytes);
    EXPECT_EQ(HoldBits(Status(a_)), 0u);
}

INSTANTIATE_TEST_SUITE_P(Lines, OutputFlowTest, ::testing::ValuesIn(kOutputFlowCases), RowName{});

// Every flow-control mode, set on both ends, stops a long write right after the piece that filled the
// receiver: the write ends by its time limit with exactly what the ring holds, nothing lost and nothing
// more sent once it is over, and the ends talk again after the reader drains.
struct StopCase {
    const char* name;
    void (*receiver)(DCB& dcb);
    void (*sender)(DCB& dcb);
};

const StopCase kStopCases[] = {
    {"XonXoff", [](DCB& dcb) { dcb.fInX = 1; }, [](DCB& dcb) { dcb.fOutX = 1; }},
    {"RtsCts", [](DCB& dcb) { dcb.fRtsControl = RTS_CONTROL_HANDSHAKE; },
     [](DCB& dcb) { dcb.fOutxCtsFlow = 1; }},
    {"DtrDsr", [](DCB& dcb) { dcb.fDtrControl = DTR_CONTROL_HANDSHAKE; },
     [](DCB& dcb) { dcb.fOutxDsrFlow = 1; }},
};

class FlowStopTest : public PairTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(FlowStopTest, FullReceiverStopsTheNextPieceAndTheWriteReportsWhatWasTaken) {
    constexpr DWORD kLength = 4000;
    constexpr DWORD kLimitMs = 500;
    ChangeState(b_, GetParam().receiver);
    ChangeState(a_, GetParam().sender);
    SetTimeouts(a_, {MAXDWORD, 0, 0, 0, kLimitMs});

    // Freed as soon as the write is over: the driver must not read it afterwards.
    auto* bytes = new std::vector<BYTE>(Stream(5).Take(kLength));
    const std::vector<BYTE> copy = *bytes;
    const ce_test::Stopwatch clock;
    const Transfer write = WriteCall(a_, bytes->data(), kLength);
    std::fill(bytes->begin(), bytes->end(), 0xEE);
    delete bytes;

    EXPECT_TRUE(write.ok);
    EXPECT_EQ(write.error, kUnsetError);
    EXPECT_GE(clock.ElapsedMs(), kLimitMs - kTickSlackMs);
    EXPECT_EQ(write.bytes, kRingCapacity);
    EXPECT_EQ(Status(a_).cbOutQue, 0u);
    EXPECT_EQ(InQueue(b_), kRingCapacity);

    const std::vector<BYTE> received = Drain(b_);
    ASSERT_EQ(received.size(), kRingCapacity);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), copy.begin()));
    Sleep(kQuietMs);
    EXPECT_EQ(InQueue(b_), 0u) << "bytes of a write that was over arrived";

    const std::vector<BYTE> more = Stream(6).Take(100);
    EXPECT_EQ(Write(a_, more), 100u);
    EXPECT_EQ(Drain(b_), more);
}

INSTANTIATE_TEST_SUITE_P(Modes, FlowStopTest, ::testing::ValuesIn(kStopCases), RowName{});

// In toggle mode RTS is on while a write is in progress, also while something holds it, and off once it
// ended.
struct ToggleCase {
    const char* name;
    void (*hold)(DCB& dcb);
    DWORD holdFunction;     // on the writer (0: none), after the DCB
    DWORD releaseFunction;  // on the writer or, with fOutxCtsFlow, on the partner
    bool releaseOnPartner;
};

const ToggleCase kToggleCases[] = {
    {"HeldByXoff", [](DCB& dcb) { dcb.fOutX = 1; }, SETXOFF, SETXON, false},
    {"HeldByCts", [](DCB& dcb) { dcb.fOutxCtsFlow = 1; }, 0, SETRTS, true},
};

class RtsToggleTest : public PairTest, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(RtsToggleTest, PartnerSeesCtsDuringTheWriteOnly) {
    const ToggleCase& c = GetParam();
    ChangeState(a_, [&](DCB& dcb) {
        dcb.fRtsControl = RTS_CONTROL_TOGGLE;
        c.hold(dcb);
    });
    ExpectLinesStay(b_, MS_CTS_ON, false);
    if (c.holdFunction != 0) {
        Escape(a_, c.holdFunction);
    }
    const std::vector<BYTE> bytes = Stream(7).Take(30);
    Transfer write;
    Background writer([&] { write = WriteCall(a_, bytes.data(), 30); });
    EXPECT_TRUE(tulktest::WaitUntil([&] { return LinesOn(b_, MS_CTS_ON); }, kSoonMs));
    EXPECT_FALSE(writer.Done());

    Escape(c.releaseOnPartner ? b_ : a_, c.releaseFunction);
    ASSERT_TRUE(writer.Wait(kSoonMs));
    EXPECT_EQ(write.bytes, 30u);
    EXPECT_TRUE(tulktest::WaitUntil([&] { return LinesOff(b_, MS_CTS_ON); }, kSoonMs));
    EXPECT_EQ(Drain(b_), bytes);

    // A write that is never held leaves RTS off too.
    EXPECT_EQ(Write(a_, bytes), 30u);
    ExpectLinesStay(b_, MS_CTS_ON, false);
    EXPECT_EQ(Drain(b_), bytes);
}

INSTANTIATE_TEST_SUITE_P(Holds, RtsToggleTest, ::testing::ValuesIn(kToggleCases), RowName{});

}  // namespace
}  // namespace serialtest
