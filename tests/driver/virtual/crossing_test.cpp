// Bytes crossing from a port to its partner: deliveries, the partner's RxIntr, what is counted as sent, and
// every way a writer blocked on its partner is let go.
#include <cstring>
#include <optional>

#include "driver/virtual/virtual_fixture.h"

namespace vtest {
namespace {

using tulktest::PrintTo;
using tulktest::RowName;

constexpr DWORD kReportWaitMs = 5000;
constexpr DWORD kWriterDoneMs = 5000;
constexpr DWORD kStillBlockedMs = 100;  // a writer released early shows within this

class CrossingTest : public VirtualPortTest {
  protected:
    void SetUp() override {
        VirtualPortTest::SetUp();
        CreatePair();
        if (!HasFatalFailure()) {
            OpenPair();
        }
    }

    // B's dispatch step: waits for the receive report, then takes what fits in `room`.
    DWORD Receive(BYTE* target, DWORD room, DWORD* left = nullptr) {
        if ((heldReport_ & kInterruptReceive) == 0) {
            EXPECT_NE(WaitForReport(b_, kInterruptReceive, kReportWaitMs), 0u) << "no receive report";
        }
        heldReport_ = 0;
        DWORD count = room;
        const DWORD untaken = Ops(b_).RxIntr(Vp(b_), target, &count, RxInto::kRing);
        if (left != nullptr) {
            *left = untaken;
        }
        return count;
    }

    void ExpectWriteEnded(PortState* state) {
        EXPECT_EQ(WaitForSingleObject(state->TransmitEvent, 0), WAIT_OBJECT_0) << "write not ended";
        EXPECT_EQ(Vp(state)->pendingSources.load() & kSourceTransmit, 0);
        EXPECT_NE(Vp(state)->lineStatus.load() & kLineTransmitterEmpty, 0) << "transmitter left busy";
    }

    // B's next report, as the core asks right after a receive step; this is what lets the writer go on. A
    // delivery the writer makes at once may already be reported here, so the report is kept for Receive.
    void NextReport() { heldReport_ = Ops(b_).GetInterruptType(Vp(b_)); }

    DWORD heldReport_ = 0;
};

class ShortTargetTest : public CrossingTest, public ::testing::WithParamInterface<DWORD> {};

// Each pass the writer counts as sent what the partner took, and waits for the partner's next report (its
// flow control in place) before it goes on; the layer owes it no report after that.
TEST_P(ShortTargetTest, UntakenBytesAreCountedAsLeftAndSentAgain) {
    const DWORD room = GetParam();
    constexpr DWORD kLength = 100;
    const std::vector<BYTE> data = Pattern(kLength);
    std::vector<BYTE> arrived;
    DWORD sent = 0;
    for (int pass = 0; sent < kLength && pass < 200; ++pass) {
        AsyncTransmit writer(a_, data.data() + sent, kLength - sent);
        std::vector<BYTE> target(room, 0xEE);
        DWORD left = 0;
        const DWORD count = Receive(target.data(), room, &left);
        ASSERT_EQ(count, std::min(room, kLength - sent));
        EXPECT_EQ(left, kLength - sent - count);
        if (pass == 0) {
            EXPECT_FALSE(writer.Wait(kStillBlockedMs)) << "writer released inside RxIntr";
        }
        NextReport();
        ASSERT_TRUE(writer.Wait(kWriterDoneMs));
        ASSERT_EQ(writer.Taken(), count) << "writer counted other than what was taken";
        EXPECT_EQ(Ops(a_).GetInterruptType(Vp(a_)), kInterruptNone);
        arrived.insert(arrived.end(), target.begin(), target.begin() + count);
        sent += count;
    }
    EXPECT_EQ(arrived, data);
    EXPECT_NE(Vp(a_)->lineStatus.load() & kLineTransmitterEmpty, 0);
}

INSTANTIATE_TEST_SUITE_P(Rooms, ShortTargetTest, ::testing::Values(1u, 16u, 30u, 99u, 100u, 2048u));

// The receive filters and the event character, for bytes of a write and for immediate characters: dropped
// bytes still count as sent, and EV_RXFLAG comes once per call however many event characters it took.
struct FilterCase {
    const char* name;
    bool fNull;
    bool fDsrSensitivity;
    bool dropDsr;  // the partner clears DTR first
    bool immediate;
    std::vector<BYTE> sent;
    std::vector<BYTE> arrived;
    DWORD events;
};

class ReceiveFilterTest : public CrossingTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(ReceiveFilterTest, DroppedBytesStillCountAsSent) {
    const FilterCase& c = GetParam();
    ASSERT_TRUE(ChangeDcb(b_, [&](DCB* dcb) {
        dcb->fNull = c.fNull;
        dcb->fDsrSensitivity = c.fDsrSensitivity;
    }));
    if (c.dropDsr) {
        Ops(a_).ClearDTR(Vp(a_));
    }
    RecordEvents(b_);
    std::optional<AsyncTransmit> writer;
    if (c.immediate) {
        for (const BYTE byte : c.sent) {
            Ops(a_).XmitComChar(Vp(a_), byte);
        }
    } else {
        writer.emplace(a_, c.sent.data(), static_cast<DWORD>(c.sent.size()));
    }
    std::vector<BYTE> target(64, 0xEE);
    const DWORD count = Receive(target.data(), static_cast<DWORD>(target.size()));
    target.resize(count);
    EXPECT_EQ(target, c.arrived);
    const EventRecord record = TakeEvents(b_);
    EXPECT_EQ(record.events, c.events);
    EXPECT_EQ(record.calls, c.events != 0 ? 1 : 0);
    if (writer) {
        NextReport();
        ASSERT_TRUE(writer->Wait(kWriterDoneMs));
        EXPECT_EQ(writer->Taken(), c.sent.size());
    }
}

constexpr BYTE kEvtChar = 0x0D;  // of the first-open settings
const std::vector<BYTE> kEventCharacters = {'a', kEvtChar, 'b', kEvtChar, 'c', kEvtChar};

INSTANTIATE_TEST_SUITE_P(
    Filters, ReceiveFilterTest,
    ::testing::Values(
        FilterCase{"NoFilter", false, false, false, false, {1, 0, 2, 0}, {1, 0, 2, 0}, 0},
        FilterCase{"NullsDropped", true, false, false, false, {0, 1, 0, 2, 0}, {1, 2}, 0},
        FilterCase{"OnlyNulls", true, false, false, false, {0, 0, 0}, {}, 0},
        FilterCase{"DsrOnKeepsBytes", false, true, false, false, {5, 6, 7}, {5, 6, 7}, 0},
        FilterCase{"DsrOffDropsAll", false, true, true, false, {5, 6, 7}, {}, 0},
        FilterCase{"DsrOffWithoutSensitivity", false, false, true, false, {5, 6}, {5, 6}, 0},
        FilterCase{"EventCharacters", false, false, false, false, kEventCharacters, kEventCharacters,
                   EV_RXFLAG},
        FilterCase{
            "ImmediateFiltered", true, false, false, true, {0, 'A', kEvtChar}, {'A', kEvtChar}, EV_RXFLAG}),
    RowName{});

TEST_F(CrossingTest, DeliveryLongerThanTheFifoIsRefused) {
    const std::vector<BYTE> data = Pattern(kFifoBytes + 1);
    DWORD count = kFifoBytes + 1;
    EXPECT_EQ(DeliverToPartner({a_, ByteTimeUs(GetDcb(a_))}, b_, Vp(b_), data.data(), &count),
              DeliveryResult::kRefused);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Ops(b_).GetInterruptType(Vp(b_)), kInterruptNone) << "refused delivery left a mark";
}

// Immediate characters go ahead of the FIFO; what finds no room waits, with the untouched FIFO, for the
// next call.
TEST_F(CrossingTest, ImmediateCharactersThatDoNotFitWaitWithTheFifo) {
    const BYTE data[] = {'x', 'y'};
    AsyncTransmit writer(a_, data, sizeof(data));
    ASSERT_TRUE(tulktest::WaitUntil([&] { return Vp(b_)->fifoState.load() == kFifoLoaded; }, kReportWaitMs));
    for (const BYTE c : {1, 2, 3}) {
        Ops(a_).XmitComChar(Vp(a_), c);
    }
    BYTE first[2];
    DWORD left = 0xFFFF;
    ASSERT_EQ(Receive(first, sizeof(first), &left), 2u);
    EXPECT_EQ(left, 0u) << "FIFO counted as abandoned although it was not reached";
    EXPECT_EQ(first[0], 1);
    EXPECT_EQ(first[1], 2);
    BYTE rest[8];
    ASSERT_EQ(Receive(rest, sizeof(rest)), 3u);
    EXPECT_EQ(rest[0], 3);
    EXPECT_EQ(rest[1], 'x');
    NextReport();
    ASSERT_TRUE(writer.Wait(kWriterDoneMs));
    EXPECT_EQ(writer.Taken(), sizeof(data));
}

TEST_F(CrossingTest, FullImmediateRingCountsTheLostCharacters) {
    constexpr DWORD kPosted = kImmediateQueueBytes + 6;
    for (DWORD i = 0; i < kPosted; ++i) {
        EXPECT_TRUE(Ops(a_).XmitComChar(Vp(a_), static_cast<BYTE>(i + 1)));
    }
    EXPECT_EQ(Vp(b_)->droppedImmediate.load(), kPosted - kImmediateQueueBytes);
    BYTE target[kImmediateQueueBytes * 2];
    ASSERT_EQ(Receive(target, sizeof(target)), kImmediateQueueBytes);
    for (DWORD i = 0; i < kImmediateQueueBytes; ++i) {
        ASSERT_EQ(target[i], i + 1);
    }
}

TEST_F(CrossingTest, UnreadableSourceEndsTheWrite) {
    DWORD count = 10;
    Ops(a_).TxIntr(Vp(a_), reinterpret_cast<const BYTE*>(0x10), &count);
    EXPECT_EQ(count, 0u);
    ExpectWriteEnded(a_);
    EXPECT_EQ(Ops(b_).GetInterruptType(Vp(b_)), kInterruptNone);
}

TEST_F(CrossingTest, UnwritableTargetTakesNothingAndTheBytesComeAgain) {
    const std::vector<BYTE> data = Pattern(8);
    AsyncTransmit writer(a_, data.data(), 8);
    DWORD left = 0;
    EXPECT_EQ(Receive(reinterpret_cast<BYTE*>(0x10), 8, &left), 0u);
    EXPECT_EQ(left, 8u);
    NextReport();
    ASSERT_TRUE(writer.Wait(kWriterDoneMs));
    EXPECT_EQ(writer.Taken(), 0u);
}

// How a writer blocked on B is let go, and what it counts as sent.
enum class Release {
    kClose,
    kDeinit,
    kReceivePurge,
    kOtherPurge,
    kCloseAfterPartialTake,
    kStaleAtOpeningPurge,  // B closed and opened again between the writer's check and its delivery
    kStaleNotTakenIn,
};

struct ReleaseCase {
    const char* name;
    Release action;
    DWORD expectedTaken;
    bool writeEnds;  // the delivery counts as refused and the write ends
};

class BlockedWriterTest : public CrossingTest, public ::testing::WithParamInterface<ReleaseCase> {};

TEST_P(BlockedWriterTest, IsReleased) {
    const ReleaseCase& c = GetParam();
    constexpr DWORD kLength = 40;
    constexpr DWORD kPartialRoom = 10;
    const std::vector<BYTE> data = Pattern(kLength);
    AsyncTransmit writer(a_, data.data(), kLength);
    ASSERT_TRUE(tulktest::WaitUntil([&] { return Vp(b_)->fifoState.load() == kFifoLoaded; }, kReportWaitMs));
    switch (c.action) {
        case Release::kClose:
            CloseHandleOf(handleB_);
            break;
        case Release::kDeinit:
            Destroy(b_);
            b_ = nullptr;
            break;
        case Release::kReceivePurge:
            Ops(b_).PurgeComm(Vp(b_), PURGE_RXCLEAR);
            break;
        case Release::kOtherPurge:
            Ops(b_).PurgeComm(Vp(b_), PURGE_RXABORT | PURGE_TXABORT | PURGE_TXCLEAR);
            break;
        case Release::kStaleAtOpeningPurge:
            Vp(b_)->openGeneration.fetch_add(1);
            Ops(b_).PurgeComm(Vp(b_), PURGE_RXCLEAR);
            break;
        case Release::kStaleNotTakenIn: {
            Vp(b_)->openGeneration.fetch_add(1);
            BYTE target[kLength];
            EXPECT_EQ(Receive(target, kLength), 0u) << "bytes of a stale delivery taken in";
            break;
        }
        case Release::kCloseAfterPartialTake: {
            BYTE target[kPartialRoom];
            ASSERT_EQ(Receive(target, kPartialRoom), kPartialRoom);
            CloseHandleOf(handleB_);
            break;
        }
    }
    if (c.action == Release::kOtherPurge) {
        // Nothing is lost: the bytes and their report are still there and the writer still waits.
        EXPECT_FALSE(writer.Wait(kStillBlockedMs));
        BYTE target[kLength];
        ASSERT_EQ(Receive(target, kLength), kLength);
        EXPECT_EQ(std::memcmp(target, data.data(), kLength), 0);
        NextReport();
    }
    ASSERT_TRUE(writer.Wait(kWriterDoneMs));
    EXPECT_EQ(writer.Taken(), c.expectedTaken);
    if (c.writeEnds) {
        ExpectWriteEnded(a_);
    } else {
        // The layer owes the writer no report after a delivery: the core's writer asks for its own pass.
        EXPECT_EQ(Ops(a_).GetInterruptType(Vp(a_)), kInterruptNone);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Releases, BlockedWriterTest,
    ::testing::Values(ReleaseCase{"PartnerClosed", Release::kClose, 0, true},
                      ReleaseCase{"PartnerDeinitialised", Release::kDeinit, 0, true},
                      ReleaseCase{"ReceivePurgeCountsBytesSent", Release::kReceivePurge, 40, false},
                      ReleaseCase{"OtherPurgeKeepsBytes", Release::kOtherPurge, 40, false},
                      ReleaseCase{"CloseAfterPartialTake", Release::kCloseAfterPartialTake, 10, false},
                      ReleaseCase{"StaleAtOpeningPurgeIsRefused", Release::kStaleAtOpeningPurge, 0, true},
                      ReleaseCase{"StaleIsNotTakenIn", Release::kStaleNotTakenIn, 0, true}),
    RowName{});

TEST_F(CrossingTest, ReceivePurgeKeepsADeliveryThatArrivesAfterIt) {
    Ops(a_).XmitComChar(Vp(a_), 'i');
    Ops(b_).PurgeComm(Vp(b_), PURGE_RXCLEAR);
    EXPECT_EQ(Ops(b_).GetInterruptType(Vp(b_)), kInterruptNone) << "purged character still reported";
    const BYTE data[] = {'n', 'e', 'w'};
    AsyncTransmit writer(a_, data, sizeof(data));
    BYTE target[8];
    ASSERT_EQ(Receive(target, sizeof(target)), 3u);
    EXPECT_EQ(target[0], 'n');
    NextReport();
    ASSERT_TRUE(writer.Wait(kWriterDoneMs));
}

}  // namespace
}  // namespace vtest
