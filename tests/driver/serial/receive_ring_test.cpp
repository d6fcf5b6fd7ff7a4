// The receive ring as applications see it: what it holds, what it loses when nobody reads and nothing holds
// the sender back, and that it keeps the order of bytes across wraps and after being emptied. (That a
// reopened port starts empty is the XON/XOFF tests'.)
#include <sys/mman.h>

#include <algorithm>

#include "driver/serial/serial_fixture.h"

namespace serialtest {
namespace {

using ReceiveRingTest = PairTest;

// Without flow control a writer may run ahead of its reader by the ring. Beyond that its bytes wait for
// room as long as they would take on the line and are then lost, as on a line: the write completes at line
// speed, the ring keeps the first bytes, and the receiver learns of the loss once (CE_RXOVER) and by EV_ERR.
TEST_F(ReceiveRingTest, BeyondTheRingAWriterGoesAtLineSpeedAndTheReceiverLearnsOfTheLoss) {
    constexpr DWORD kBeyond = 1500;
    constexpr int64_t kLineTimeMs = kBeyond * 10 * 1000 / CBR_115200;  // 8N1: ten bits a byte
    for (HANDLE port : {a_, b_}) {
        ChangeState(port, [](DCB& dcb) { dcb.BaudRate = CBR_115200; });
    }
    SetMask(b_, EV_ERR);
    DWORD events = 0;
    Background waiter([&] { WaitCommEvent(b_, &events, nullptr); });
    const std::vector<BYTE> bytes = Stream(11).Take(kRingCapacity + kBeyond);
    const ce_test::Stopwatch clock;
    EXPECT_EQ(Write(a_, bytes), bytes.size());
    // Each piece's line time runs on the millisecond tick, so a few ticks may be lost over the pieces.
    EXPECT_GE(clock.ElapsedMs(), kLineTimeMs * 9 / 10);
    ASSERT_TRUE(waiter.Wait(kSoonMs));
    EXPECT_EQ(events, static_cast<DWORD>(EV_ERR));
    DWORD errors = 0;
    EXPECT_EQ(Status(b_, &errors).cbInQue, kRingCapacity);
    EXPECT_EQ(errors, static_cast<DWORD>(CE_RXOVER));
    EXPECT_EQ(InQueue(b_), kRingCapacity);  // reported once

    const std::vector<BYTE> received = Drain(b_);
    ASSERT_EQ(received.size(), kRingCapacity);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), bytes.begin())) << "the ring kept other bytes";
}

// Reads of many sizes that leave bytes behind make the ring wrap; nothing is lost or reordered as long as
// the writer never sends more than the room left.
TEST_F(ReceiveRingTest, KeepsOrderAcrossWraps) {
    SetTimeouts(b_, kReturnAtOnce);
    Stream sent(31);
    Stream expected(31);
    DWORD held = 0;
    const DWORD readSizes[] = {1, 700, 1500, 33, 2046, 999, 2047, 5};
    for (int pass = 0; pass < 4; ++pass) {
        for (DWORD size : readSizes) {
            const DWORD room = kRingCapacity - held;
            ASSERT_EQ(Write(a_, sent.Take(room)), room);
            held = kRingCapacity;
            ASSERT_EQ(InQueue(b_), held);
            const std::vector<BYTE> got = Read(b_, size);
            ASSERT_EQ(got.size(), std::min(size, held));
            for (BYTE byte : got) {
                ASSERT_EQ(byte, expected.Next());
            }
            held -= static_cast<DWORD>(got.size());
            ASSERT_EQ(InQueue(b_), held);
        }
    }
}

// One write much longer than the ring reaches a reader that keeps reading, whole and in order, without flow
// control: a reader that keeps up with the line loses nothing. (With flow control, the duplex tests'.)
TEST_F(ReceiveRingTest, ALongWriteReachesAConcurrentReaderWhole) {
    constexpr DWORD kLength = 40 * kRingBytes + 17;
    const std::vector<BYTE> bytes = Stream(41).Take(kLength);
    std::vector<BYTE> received;
    Background reader([&] {
        SetTimeouts(b_, WaitForAny(kSoonMs));
        while (received.size() < kLength) {
            const std::vector<BYTE> got = Read(b_, 700);
            if (got.empty()) {
                return;
            }
            received.insert(received.end(), got.begin(), got.end());
        }
    });
    EXPECT_EQ(Write(a_, bytes), kLength);
    ASSERT_TRUE(reader.Wait(kSoonMs * 2));
    EXPECT_EQ(received, bytes);
    EXPECT_EQ(InQueue(b_), 0u);  // and no error reported
}

// A read into a buffer that cannot be written fails cleanly and loses nothing: the bytes wait in the ring.
TEST_F(ReceiveRingTest, UnwritableBufferFailsTheReadAndKeepsTheBytes) {
    const std::vector<BYTE> bytes = Stream(21).Take(64);
    ASSERT_EQ(Write(a_, bytes), 64u);
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    DWORD read = 1234;
    SetLastError(tulktest::kUnsetError);
    EXPECT_FALSE(ReadFile(b_, page, 64, &read, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    munmap(page, 4096);
    EXPECT_EQ(InQueue(b_), 64u);
    EXPECT_EQ(Drain(b_), bytes);
}

}  // namespace
}  // namespace serialtest
