// Both ends of a pair write a long stream to each other at the same time in 4 KiB writes while readers on
// both ends take random amounts, some of them slowly; every byte is verified in order. Each mode of flow
// control is set on both ends, so no byte may be lost however slow the readers are.
#include <algorithm>
#include <atomic>
#include <random>

#include "driver/serial/serial_fixture.h"

namespace serialtest {
namespace {

using serialtest::PrintTo;

// Sanitizer builds run the same traffic, smaller.
constexpr size_t kBytesPerDirection = (size_t{16} << 20) / ce_test::kSlowdown;
constexpr DWORD kWriteBytes = 4096;
constexpr DWORD kMaxReadBytes = 5000;
constexpr DWORD kReadWaitMs = 1000;
// A reader that got nothing for this long means the pair stopped moving.
constexpr int kStalledReads = 10 * ce_test::kSlowdown;
// Far beyond what a run takes; only a hang gets there.
constexpr DWORD kRunBoundMs = 90000;

struct DuplexCase {
    const char* name;
    const char16_t* family;
    void (*flow)(DCB& dcb);  // set on both ends: each receives and sends
    bool slowReaders;
};

const DuplexCase kDuplexCases[] = {
    // The ring-driven lines stop the partner; the readers read as fast as they can.
    {"DtrDsrFastReaders", u"COM",
     [](DCB& dcb) {
         dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
         dcb.fOutxDsrFlow = 1;
     },
     false},
    {"XonXoffSlowReaders", u"KMX",
     [](DCB& dcb) {
         dcb.fInX = 1;
         dcb.fOutX = 1;
         // Sending XON must not cancel an XOFF the partner sent: in full duplex both happen.
         dcb.fTXContinueOnXoff = 1;
     },
     true},
    {"RtsCtsSlowReaders", u"COM",
     [](DCB& dcb) {
         dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
         dcb.fOutxCtsFlow = 1;
     },
     true},
};

struct Direction {
    uint32_t seed;
    std::atomic<size_t> written{0};
    std::atomic<size_t> received{0};
    std::atomic<bool> failed{false};
    std::string failure;  // written by the reader before it sets `failed`
};

void WriteStream(HANDLE port, Direction& direction) {
    Stream stream(direction.seed);
    while (direction.written.load() < kBytesPerDirection && !direction.failed.load()) {
        const size_t left = kBytesPerDirection - direction.written.load();
        const auto size = static_cast<DWORD>(std::min<size_t>(kWriteBytes, left));
        const std::vector<BYTE> bytes = stream.Take(size);
        const Transfer write = WriteCall(port, bytes.data(), size);
        if (!write.ok || write.bytes != size) {
            return;  // the reader's check reports the missing bytes
        }
        direction.written.fetch_add(size);
    }
}

// How many bytes of the stream went missing before `got`, to tell loss from corruption in a failure.
std::string Gap(Stream expected, const BYTE* got, DWORD count) {
    constexpr DWORD kMatchBytes = 16;
    constexpr DWORD kFarthestGap = 3 * kWriteBytes;
    if (count < kMatchBytes) {
        return "too few bytes left to tell why";
    }
    const std::vector<BYTE> ahead = expected.Take(kFarthestGap + kMatchBytes);
    for (DWORD gap = 1; gap <= kFarthestGap; ++gap) {
        if (std::equal(got, got + kMatchBytes, ahead.begin() + gap)) {
            return std::to_string(gap) + " bytes were lost there";
        }
    }
    return "the bytes that arrived are not of the stream";
}

void ReadStream(HANDLE port, Direction& direction, bool slow, uint32_t seed) {
    Stream expected(direction.seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<DWORD> sizes(1, kMaxReadBytes);
    std::uniform_int_distribution<int> pauses(0, 3);
    std::vector<BYTE> buffer(kMaxReadBytes);
    int emptyReads = 0;
    size_t received = 0;
    auto fail = [&](std::string why) {
        direction.failure = std::move(why);
        direction.failed.store(true);
    };
    while (received < kBytesPerDirection) {
        const Transfer read = ReadCall(port, buffer.data(), sizes(random));
        if (!read.ok) {
            return fail("read failed with error " + std::to_string(read.error));
        }
        if (read.bytes == 0 && ++emptyReads >= kStalledReads) {
            return fail("nothing arrived after byte " + std::to_string(received) + " of which " +
                        std::to_string(direction.written.load()) + " were written");
        }
        if (read.bytes != 0) {
            emptyReads = 0;
        }
        for (DWORD i = 0; i < read.bytes; ++i, ++received) {
            Stream before = expected;
            if (buffer[i] != expected.Next()) {
                return fail("byte " + std::to_string(received) +
                            " differs: " + Gap(before, buffer.data() + i, read.bytes - i));
            }
        }
        direction.received.store(received);
        if (slow && pauses(random) == 0) {
            Sleep(1);
        }
    }
}

class DuplexTest : public PairTest, public ::testing::WithParamInterface<DuplexCase> {
  protected:
    DuplexTest() : PairTest(GetParam().family) {}
};

TEST_P(DuplexTest, EveryByteArrivesInOrderBothWaysAtOnce) {
    const DuplexCase& c = GetParam();
    for (HANDLE port : {a_, b_}) {
        ChangeState(port, c.flow);
        SetTimeouts(port, {MAXDWORD, MAXDWORD, kReadWaitMs, 0, 0});
    }
    Direction toB;
    toB.seed = 0x1234;
    Direction toA;
    toA.seed = 0xBEEF;
    {
        Background writerA([&] { WriteStream(a_, toB); });
        Background writerB([&] { WriteStream(b_, toA); });
        Background readerA([&] { ReadStream(a_, toA, c.slowReaders, 1); });
        Background readerB([&] { ReadStream(b_, toB, c.slowReaders, 2); });
        const bool readersEnded = readerA.Wait(kRunBoundMs) && readerB.Wait(kSoonMs);
        EXPECT_TRUE(readersEnded) << "a read never ended";
        const bool writersEnded = readersEnded && writerA.Wait(kSoonMs) && writerB.Wait(kSoonMs);
        EXPECT_TRUE(writersEnded) << "a write never ended";
        if (!writersEnded) {
            // Closing ends the calls that are stuck, so the test fails instead of hanging.
            CloseHandle(a_);
            CloseHandle(b_);
            a_ = b_ = INVALID_HANDLE_VALUE;
        }
    }
    for (Direction* direction : {&toB, &toA}) {
        SCOPED_TRACE(direction == &toB ? "first to second end" : "second to first end");
        EXPECT_FALSE(direction->failed.load()) << direction->failure;
        EXPECT_EQ(direction->written.load(), kBytesPerDirection);
        EXPECT_EQ(direction->received.load(), kBytesPerDirection);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, DuplexTest, ::testing::ValuesIn(kDuplexCases), RowName{});

}  // namespace
}  // namespace serialtest
