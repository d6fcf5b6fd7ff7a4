// The stress run's record stream: what the reader makes of whole, cut, interleaved and reordered streams.
#include <gtest/gtest.h>

#include <vector>

#include "system/stress_records.h"

namespace stress {
namespace {

std::vector<uint8_t> Stream(uint64_t fromRecord, uint64_t toRecord) {
    std::vector<uint8_t> bytes;
    for (uint64_t offset = fromRecord * kRecordBytes; offset < toRecord * kRecordBytes; ++offset) {
        bytes.push_back(StreamByte(offset));
    }
    return bytes;
}

struct Figures {
    uint64_t records;
    uint32_t firstRunEnd, lastRunStart, next;
    bool disordered;
};

Figures Read(const std::vector<std::vector<uint8_t>>& pieces) {
    RecordReader reader;
    for (const std::vector<uint8_t>& piece : pieces) {
        reader.Take(piece.data(), piece.size());
    }
    return Figures{reader.records(), reader.firstRunEnd(), reader.lastRunStart(), reader.next(),
                   reader.disordered()};
}

TEST(StressRecords, StreamAvoidsTheCharactersThatFlowControlAndNullStrippingTake) {
    for (uint8_t byte : Stream(0, 70000)) {
        ASSERT_NE(byte, 0);
        ASSERT_NE(byte, kXon);
        ASSERT_NE(byte, kXoff);
    }
    // The numbers reach past the marker's digit: records beyond 2^24 decode as well.
    const Figures high = Read({Stream((1u << 24) - 2, (1u << 24) + 2)});
    EXPECT_EQ(high.records, 4u);
    EXPECT_EQ(high.next, (1u << 24) + 2);
}

TEST(StressRecords, WholeStreamInAnyPiecesIsOneRun) {
    const std::vector<uint8_t> all = Stream(0, 5000);
    std::vector<std::vector<uint8_t>> pieces;
    for (size_t at = 0, size = 1; at < all.size(); at += size, size = size % 13 + 1) {
        pieces.emplace_back(all.begin() + at, all.begin() + std::min(all.size(), at + size));
    }
    const Figures figures = Read(pieces);
    EXPECT_EQ(figures.records, 5000u);
    EXPECT_EQ(figures.firstRunEnd, 5000u);
    EXPECT_EQ(figures.lastRunStart, 0u);
    EXPECT_EQ(figures.next, 5000u);
    EXPECT_FALSE(figures.disordered);
}

TEST(StressRecords, FlowCharactersBetweenAnyBytesAreSkipped) {
    std::vector<uint8_t> mixed;
    for (uint8_t byte : Stream(0, 300)) {
        mixed.push_back(byte);
        mixed.push_back(mixed.size() % 3 == 0 ? kXon : kXoff);
    }
    const Figures figures = Read({mixed});
    EXPECT_EQ(figures.records, 300u);
    EXPECT_EQ(figures.firstRunEnd, 300u);
}

// A purge drops bytes from anywhere: the records it cut are lost, the others are kept in order.
TEST(StressRecords, CutsLoseOnlyTheRecordsTheyTouch) {
    const std::vector<uint8_t> all = Stream(0, 100);
    for (size_t cutAt : {size_t{3}, size_t{8}, size_t{13}, size_t{400}, size_t{700}}) {
        for (size_t cutBytes : {size_t{1}, size_t{5}, size_t{8}, size_t{9}, size_t{77}}) {
            std::vector<uint8_t> cut(all.begin(), all.begin() + cutAt);
            cut.insert(cut.end(), all.begin() + std::min(all.size(), cutAt + cutBytes), all.end());
            const Figures figures = Read({cut});
            const auto firstLost = static_cast<uint32_t>(cutAt / kRecordBytes);
            EXPECT_EQ(figures.firstRunEnd, firstLost) << cutAt << " " << cutBytes;
            EXPECT_EQ(figures.next, 100u) << cutAt << " " << cutBytes;
            // A cut of whole records' length may leave the tail of the one it ends in after the head of the
            // one it starts in: that is the later record, digit for digit, and it counts.
            EXPECT_GT(figures.lastRunStart, firstLost) << cutAt << " " << cutBytes;
            EXPECT_LE(figures.lastRunStart, (cutAt + cutBytes + kRecordBytes - 1) / kRecordBytes)
                << cutAt << " " << cutBytes;
            EXPECT_FALSE(figures.disordered);
        }
    }
}

TEST(StressRecords, RecordsOutOfOrderOrRepeatedAreCaught) {
    EXPECT_TRUE(Read({Stream(0, 10), Stream(20, 30), Stream(15, 16)}).disordered);
    EXPECT_TRUE(Read({Stream(0, 10), Stream(9, 12)}).disordered);
    EXPECT_FALSE(Read({Stream(0, 10), Stream(12, 14)}).disordered);
}

}  // namespace
}  // namespace stress
