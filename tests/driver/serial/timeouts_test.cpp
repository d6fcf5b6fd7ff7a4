// Read and write timeouts as applications see them: each rule of the read timeouts (return at once, wait for
// any byte, wait for the whole length, total and interval limits) and writes that end by their time limit.
#include <atomic>
#include <cstring>

#include "driver/serial/serial_fixture.h"

namespace serialtest {
namespace {

using serialtest::PrintTo;

using ce_test::Stopwatch;
using ce_test::UpperBoundMs;

// Bytes the partner sends: `count` of them, `afterMs` after the read started (0: before it starts).
struct Arrival {
    DWORD afterMs;
    DWORD count;
};

struct ReadTimeoutCase {
    const char* name;
    COMMTIMEOUTS timeouts;
    DWORD length;  // asked of ReadFile
    std::vector<Arrival> arrivals;
    DWORD expectedBytes;
    int64_t expectedMs;     // lower bound; the upper one is UpperBoundMs of it
    bool asOpened = false;  // the timeouts are the port's own from its creation, checked instead of set
};

// The limits that follow from the first-open timeouts (250, 10, 100): 10 x 10 + 100 for 10 bytes with
// nothing coming, and 250 + 8 x 10 between bytes once one has arrived.
constexpr COMMTIMEOUTS kInitTimeouts = {250, 10, 100, 0, 0};
constexpr int64_t kInitTotalFor10Ms = 200;
constexpr int64_t kInitIntervalMs = 330;

const ReadTimeoutCase kReadCases[] = {
    {"MaxIntervalEmptyRingReturnsAtOnce", kReturnAtOnce, 10, {}, 0, 0},
    {"MaxIntervalReturnsWhatIsThere", kReturnAtOnce, 10, {{0, 4}}, 4, 0},
    {"WaitForAnyTimesOut", WaitForAny(500), 10, {}, 0, 500},
    {"WaitForAnyReturnsOnFirstBytes", WaitForAny(2000), 10, {{150, 3}}, 3, 150},
    {"WaitForAnyReturnsAtOnceWithBuffered", WaitForAny(2000), 10, {{0, 2}}, 2, 0},
    {"AllZeroWaitsForTheWholeLength", {0, 0, 0, 0, 0}, 10, {{0, 4}, {300, 6}}, 10, 300},
    {"InitTimeoutsTotalLimit", kInitTimeouts, 10, {}, 0, kInitTotalFor10Ms, true},
    {"InitTimeoutsIntervalAfterFirstByte", kInitTimeouts, 1000, {{0, 1}}, 1, kInitIntervalMs, true},
    // The interval counts from the latest byte, not from the first.
    {"IntervalRestartsWithEachByte",
     kInitTimeouts,
     1000,
     {{0, 1}, {200, 1}, {400, 1}},
     3,
     400 + kInitIntervalMs},
    // A MAXDWORD multiplier adds nothing to the interval.
    {"MaxMultiplierAddsNoIntervalExtra", {200, MAXDWORD, 60000, 0, 0}, 1000, {{0, 1}}, 1, 200},
    // Bytes that fill the request end the read before any limit.
    {"FullLengthEndsTheRead", kInitTimeouts, 5, {{0, 5}}, 5, 0},
};

class ReadTimeoutTest : public PairTest, public ::testing::WithParamInterface<ReadTimeoutCase> {};

TEST_P(ReadTimeoutTest, ReturnsWhatArrivedWhenItsRuleSays) {
    const ReadTimeoutCase& c = GetParam();
    Stream sent(7);
    DWORD preloaded = 0;
    std::vector<Arrival> later;
    for (const Arrival& arrival : c.arrivals) {
        if (arrival.afterMs == 0) {
            ASSERT_EQ(Write(b_, sent.Take(arrival.count)), arrival.count);
            preloaded += arrival.count;
        } else {
            later.push_back(arrival);
        }
    }
    ASSERT_TRUE(WaitForInQueue(a_, preloaded));
    if (c.asOpened) {
        COMMTIMEOUTS own{};
        ASSERT_TRUE(GetCommTimeouts(a_, &own));
        ASSERT_EQ(std::memcmp(&own, &c.timeouts, sizeof(own)), 0) << "a new port has other timeouts";
    } else {
        SetTimeouts(a_, c.timeouts);
    }

    std::vector<BYTE> buffer(c.length + 1, 0xA5);
    const Stopwatch clock;
    Background partner([&] {
        for (const Arrival& arrival : later) {
            const int64_t due = arrival.afterMs;
            if (clock.ElapsedMs() < due) {
                Sleep(static_cast<DWORD>(due - clock.ElapsedMs()));
            }
            Write(b_, sent.Take(arrival.count));
        }
    });
    const Transfer read = ReadCall(a_, buffer.data(), c.length);
    const int64_t elapsed = clock.ElapsedMs();

    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.error, kUnsetError);
    ASSERT_EQ(read.bytes, c.expectedBytes);
    EXPECT_GE(elapsed, c.expectedMs - kTickSlackMs);
    EXPECT_LE(elapsed, UpperBoundMs(c.expectedMs));
    Stream expected(7);
    for (DWORD i = 0; i < read.bytes; ++i) {
        ASSERT_EQ(buffer[i], expected.Next()) << "byte " << i;
    }
    EXPECT_EQ(buffer[c.length], 0xA5) << "the read wrote past its length";
    EXPECT_TRUE(partner.Wait(kSoonMs));
}

INSTANTIATE_TEST_SUITE_P(Rules, ReadTimeoutTest, ::testing::ValuesIn(kReadCases), RowName{});

// Writes held by flow control end by their time limit with what was taken, and without an error.
class WriteTimeoutTest : public PairTest {};

TEST_F(WriteTimeoutTest, HeldWriteEndsAfterMultiplierTimesLengthPlusConstant) {
    constexpr DWORD kLength = 50;
    constexpr int64_t kLimitMs = 10 * kLength + 100;
    ChangeState(a_, [](DCB& dcb) { dcb.fOutX = 1; });
    SetTimeouts(a_, {MAXDWORD, 0, 0, 10, 100});
    Escape(a_, SETXOFF);

    const std::vector<BYTE> bytes = Stream(3).Take(kLength);
    const Stopwatch clock;
    const Transfer write = WriteCall(a_, bytes.data(), kLength);
    const int64_t elapsed = clock.ElapsedMs();

    EXPECT_TRUE(write.ok);
    EXPECT_EQ(write.bytes, 0u);
    EXPECT_EQ(write.error, kUnsetError);
    EXPECT_GE(elapsed, kLimitMs - kTickSlackMs);
    EXPECT_LE(elapsed, UpperBoundMs(kLimitMs));
    EXPECT_EQ(InQueue(b_), 0u);
    EXPECT_EQ(Status(a_).cbOutQue, 0u) << "the ended write still counts as pending";
}

// A write whose pieces keep being taken (a reader that keeps up, no flow control to hold it) still ends at
// its total time limit, and at PURGE_TXABORT from another thread, with the bytes taken so far.
TEST_F(WriteTimeoutTest, AWriteThatKeepsGoingEndsAtItsTimeLimitAndAtAnAbort) {
    constexpr DWORD kLength = 128u << 20;
    constexpr DWORD kLimitMs = 100;
    const std::vector<BYTE> bytes(kLength, 'w');
    std::atomic<bool> stop{false};
    Background reader([&] {
        SetTimeouts(b_, WaitForAny(50));
        std::vector<BYTE> buffer(64 * 1024);
        DWORD read = 0;
        while (!stop.load()) {
            ReadFile(b_, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
        }
    });
    for (bool abort : {false, true}) {
        SCOPED_TRACE(abort ? "PURGE_TXABORT" : "total time limit");
        SetTimeouts(a_, {0, 0, 0, 0, abort ? 0 : kLimitMs});
        Transfer write;
        Stopwatch clock;
        Background writer([&] { write = WriteCall(a_, bytes.data(), kLength); });
        if (abort) {
            // Aborted once it is under way (an abort before a write starts does not concern it).
            ASSERT_TRUE(tulktest::WaitUntil([&] { return Status(a_).cbOutQue != 0; }, kSoonMs));
            EXPECT_FALSE(writer.Wait(kLimitMs));
            clock = Stopwatch();
            EXPECT_TRUE(PurgeComm(a_, PURGE_TXABORT));
        }
        ASSERT_TRUE(writer.Wait(kSoonMs));
        EXPECT_LE(clock.ElapsedMs(), UpperBoundMs(abort ? 0 : kLimitMs));
        EXPECT_TRUE(write.ok);
        EXPECT_LT(write.bytes, kLength);
    }
    stop.store(true);
    EXPECT_TRUE(reader.Wait(kSoonMs));
}

}  // namespace
}  // namespace serialtest
