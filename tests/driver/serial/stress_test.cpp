// The stress run (see driver/stress/stress_end.h) with both ends as threads of this program, on pairs of
// both families: with a rough phase, in one scenario with the ports also retired and started again under
// it; and smooth only, where each flow control alone must lose nothing, with readers that keep up and with
// readers slow enough to fill the rings. Under ThreadSanitizer the same run proves the absence of data
// races; two writers on one handle race for their counts.
#include "driver/serial/serial_fixture.h"
#include "driver/stress/stress_end.h"

namespace serialtest {
namespace {

using serialtest::PrintTo;
using stress::Flow;

constexpr int kRetirements = 4;

struct Scenario {
    const char* name;
    const char16_t* family;
    stress::Lossless lossless;
    bool rough;
    bool retire;  // deactivate and activate the ends again during the rough phase
};

const Scenario kScenarios[] = {
    {"Com", u"COM", {}, true, false},
    {"Kmx", u"KMX", {}, true, false},
    {"ComRetired", u"COM", {}, true, true},
    {"DtrDsrFastReaders", u"COM", {Flow::kDtrDsr, false}, false, false},
    {"XonXoffSlowReaders", u"KMX", {Flow::kXonXoff, true}, false, false},
    {"RtsCtsSlowReaders", u"COM", {Flow::kRtsCts, true}, false, false},
};

class StressTest : public PairTest, public ::testing::WithParamInterface<Scenario> {
  protected:
    StressTest() : PairTest(GetParam().family) {}
};

TEST_P(StressTest, EveryByteWrittenAndNotPurgedArrivesInOrder) {
    const Scenario& c = GetParam();
    for (HANDLE& port : ports_) {
        CloseHandle(port);
        port = INVALID_HANDLE_VALUE;
    }
    stress::StressEnd first(Name(0), 11, c.lossless);
    stress::StressEnd second(Name(1), 22, c.lossless);
    ASSERT_TRUE(first.Open());
    ASSERT_TRUE(second.Open());
    std::function<void()> retire;
    if (c.retire) {
        retire = [&] {
            for (int round = 0; round < kRetirements; ++round) {
                Sleep(stress::kStressPhaseMs / kRetirements);
                const DWORD end = round % 2;
                EXPECT_TRUE(DeactivateDevice(devices_[end])) << "error " << GetLastError();
                devices_[end] = tulktest::ActivatePort(tulktest::PairEnd(family_, end));
                EXPECT_NE(devices_[end], nullptr) << "error " << GetLastError();
            }
        };
    }
    stress::RunStressPhases<stress::StressEnd>({&first, &second}, c.rough, retire);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, StressTest, ::testing::ValuesIn(kScenarios), RowName{});

using SharedHandleTest = PairTest;

// Two threads writing on one handle each get their own count back, whatever the other writer does with the
// port's write state once the first is done.
TEST_F(SharedHandleTest, WritersOnOneHandleEachGetTheirOwnCount) {
    constexpr int kRounds = 2000;
    std::atomic<bool> stop{false};
    Background reader([&] {
        SetTimeouts(b_, WaitForAny(20));
        std::vector<BYTE> buffer(kRingBytes);
        DWORD read = 0;
        while (!stop.load()) {
            ReadFile(b_, buffer.data(), kRingBytes, &read, nullptr);
        }
    });
    std::atomic<int> wrongCounts{0};
    const auto writer = [&](DWORD size) {
        const std::vector<BYTE> bytes(size, 'c');
        for (int round = 0; round < kRounds; ++round) {
            DWORD written = 0;
            if (!WriteFile(a_, bytes.data(), size, &written, nullptr) || written != size) {
                wrongCounts.fetch_add(1);
            }
        }
    };
    std::thread small(writer, 1);
    std::thread large(writer, 1500);
    small.join();
    large.join();
    stop.store(true);
    EXPECT_TRUE(reader.Wait(kSoonMs));
    EXPECT_EQ(wrongCounts.load(), 0);
}

}  // namespace
}  // namespace serialtest
