// Communication events through SetCommMask and WaitCommEvent: received data once the bytes are readable,
// the end of every kind of write, the partner's line changes, and the ways a pending wait ends without one.
#include "driver/serial/serial_fixture.h"

namespace serialtest {
namespace {

using serialtest::PrintTo;

struct Wait {
    BOOL ok = FALSE;
    DWORD events = kUnsetError;
    DWORD error = kUnsetError;
};

Wait WaitEvent(HANDLE port) {
    Wait wait;
    SetLastError(kUnsetError);
    wait.ok = WaitCommEvent(port, &wait.events, nullptr);
    wait.error = GetLastError();
    return wait;
}

// A wait run in the background, for the cases where the test must see it block.
class PendingWait {
  public:
    explicit PendingWait(HANDLE port) : call_([this, port] { result_ = WaitEvent(port); }) {}
    bool Ended(DWORD ms) { return call_.Wait(ms); }
    const Wait& Result() {
        EXPECT_TRUE(call_.Wait(kSoonMs)) << "the wait never ended";
        return result_;
    }

  private:
    Wait result_;
    Background call_;
};

class CommEventsTest : public PairTest {};

// EV_RXCHAR comes once the bytes of the service pass are all in the ring. A pass that received only
// flow-control characters stored nothing, so it raises nothing.
TEST_F(CommEventsTest, RxcharAfterTheBytesAreReadable) {
    SetMask(b_, EV_RXCHAR);
    PendingWait wait(b_);
    EXPECT_FALSE(wait.Ended(100));
    ASSERT_EQ(Write(a_, Stream(1).Take(100)), 100u);
    const Wait& result = wait.Result();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.events, EV_RXCHAR);
    EXPECT_EQ(InQueue(b_), 100u);

    ChangeState(b_, [](DCB& dcb) { dcb.fOutX = 1; });
    PendingWait next(b_);
    ASSERT_EQ(Write(a_, {kXoff}), 1u);
    ASSERT_EQ(Write(a_, {kXon}), 1u);
    EXPECT_FALSE(next.Ended(kQuietMs));
    EXPECT_EQ(InQueue(b_), 100u);
    ASSERT_EQ(Write(a_, {'x'}), 1u);
    EXPECT_EQ(next.Result().events, EV_RXCHAR);
}

// Events raised while no handle of the port asks for them are not remembered.
TEST_F(CommEventsTest, EventsOutsideEveryMaskAreForgotten) {
    SetMask(a_, EV_TXEMPTY);
    Escape(b_, SETRTS);
    ASSERT_TRUE(tulktest::WaitUntil([&] { return (ModemLines(a_) & MS_CTS_ON) != 0; }, kSoonMs));
    Sleep(50);  // the modem report on the first end is served
    SetMask(a_, EV_CTS);
    PendingWait wait(a_);
    EXPECT_FALSE(wait.Ended(kQuietMs));
    Escape(b_, CLRRTS);
    EXPECT_EQ(wait.Result().events, EV_CTS);
}

TEST_F(CommEventsTest, NewMaskEndsAPendingWaitWithNoEvent) {
    SetMask(a_, EV_RXCHAR);
    PendingWait wait(a_);
    EXPECT_FALSE(wait.Ended(100));
    SetMask(a_, EV_RXCHAR | EV_CTS);
    const Wait& result = wait.Result();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.events, 0u);
    EXPECT_EQ(result.error, kUnsetError);
    DWORD mask = 0;
    EXPECT_TRUE(GetCommMask(a_, &mask));
    EXPECT_EQ(mask, EV_RXCHAR | EV_CTS);
}

TEST_F(CommEventsTest, WaitWithEmptyMaskFails) {
    SetMask(a_, 0);
    const Wait result = WaitEvent(a_);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(result.events, 0u);
}

// The partner's line changes, each of which is reported even when the line already had its level.
struct LineEventCase {
    const char* name;
    DWORD function;  // on the partner
    DWORD events;
    DWORD lines;  // the modem status that follows, of the lines the function drives
};

const LineEventCase kLineEventCases[] = {
    {"SetRts", SETRTS, EV_CTS, MS_CTS_ON},
    {"ClrRts", CLRRTS, EV_CTS, 0},
    {"SetDtr", SETDTR, EV_DSR | EV_RLSD, MS_DSR_ON | MS_RLSD_ON},
    {"ClrDtr", CLRDTR, EV_DSR | EV_RLSD, 0},
};

class LineEventTest : public PairTest, public ::testing::WithParamInterface<LineEventCase> {};

TEST_P(LineEventTest, PartnerLineChangeRaisesItsEventsEveryTime) {
    const LineEventCase& c = GetParam();
    const DWORD driven = c.events == EV_CTS ? MS_CTS_ON : MS_DSR_ON | MS_RLSD_ON;
    SetMask(a_, EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK);
    for (int repeat = 0; repeat < 2; ++repeat) {
        SCOPED_TRACE(repeat);
        PendingWait wait(a_);
        Escape(b_, c.function);
        const Wait& result = wait.Result();
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.events, c.events);
        EXPECT_EQ(ModemLines(a_) & driven, c.lines);
        EXPECT_EQ(ModemLines(a_) & MS_RING_ON, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Functions, LineEventTest, ::testing::ValuesIn(kLineEventCases), RowName{});

// EV_TXEMPTY ends every write, however it ended; a held write does not raise it before it is over.
struct TxEmptyCase {
    const char* name;
    DWORD length;
    bool held;           // XOFF holds the write
    DWORD timeoutMs;     // write time limit, 0 for none
    bool abort;          // PURGE_TXABORT ends it
    bool partnerClosed;  // nobody to take the bytes
    DWORD expectedBytes;
};

const TxEmptyCase kTxEmptyCases[] = {
    {"Whole", 10, false, 0, false, false, 10},       {"Empty", 0, false, 0, false, false, 0},
    {"TimedOut", 10, true, 400, false, false, 0},    {"Aborted", 10, true, 0, true, false, 0},
    {"PartnerClosed", 10, false, 0, false, true, 0},
};

class TxEmptyTest : public PairTest, public ::testing::WithParamInterface<TxEmptyCase> {};

TEST_P(TxEmptyTest, RaisedAfterTheWriteWhateverItsEnd) {
    const TxEmptyCase& c = GetParam();
    if (c.partnerClosed) {
        ASSERT_TRUE(CloseHandle(b_));
        b_ = INVALID_HANDLE_VALUE;
    }
    ChangeState(a_, [](DCB& dcb) { dcb.fOutX = 1; });
    SetTimeouts(a_, {MAXDWORD, 0, 0, 0, c.timeoutMs});
    if (c.held) {
        Escape(a_, SETXOFF);
    }
    SetMask(a_, EV_TXEMPTY);
    PendingWait wait(a_);
    EXPECT_FALSE(wait.Ended(100));

    const std::vector<BYTE> bytes = Stream(2).Take(c.length);
    Transfer write;
    const ce_test::Stopwatch clock;
    Background writer([&] { write = WriteCall(a_, bytes.data(), c.length); });
    if (c.held) {
        EXPECT_FALSE(wait.Ended(200)) << "EV_TXEMPTY while the write was still held";
    }
    if (c.abort) {
        EXPECT_TRUE(PurgeComm(a_, PURGE_TXABORT));
    }
    ASSERT_TRUE(writer.Wait(kSoonMs));
    if (!c.held) {
        EXPECT_LE(clock.ElapsedMs(), ce_test::UpperBoundMs(0)) << "the write did not end at once";
    }
    EXPECT_TRUE(write.ok);
    EXPECT_EQ(write.bytes, c.expectedBytes);
    const Wait& result = wait.Result();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.events, EV_TXEMPTY);
}

INSTANTIATE_TEST_SUITE_P(Writes, TxEmptyTest, ::testing::ValuesIn(kTxEmptyCases), RowName{});

// Closing a handle ends a wait on it: the waiter is told nothing happened while the port stays open, and
// that the handle is gone when the close left the port without handles.
TEST_F(CommEventsTest, CloseEndsTheWait) {
    for (bool last : {false, true}) {
        SCOPED_TRACE(last ? "the last handle" : "other handles stay");
        // Beside the owner, which stays open; then the owner itself.
        HANDLE waiter = last ? a_ : tulktest::OpenByName(Name(0), 0);
        ASSERT_NE(waiter, INVALID_HANDLE_VALUE);
        SetMask(waiter, EV_RXCHAR);
        PendingWait wait(waiter);
        EXPECT_FALSE(wait.Ended(100));
        const ce_test::Stopwatch clock;
        EXPECT_TRUE(CloseHandle(waiter));
        if (last) {
            a_ = INVALID_HANDLE_VALUE;
        }
        const Wait& result = wait.Result();
        EXPECT_LE(clock.ElapsedMs(), ce_test::UpperBoundMs(0));
        EXPECT_EQ(result.events, 0u);
        EXPECT_EQ(result.ok, !last);
        EXPECT_EQ(result.error, last ? static_cast<DWORD>(ERROR_INVALID_HANDLE) : kUnsetError);
    }
}

}  // namespace
}  // namespace serialtest
