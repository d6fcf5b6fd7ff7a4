// The stress run (see driver/stress/stress_end.h) with both ends as threads of this program, on pairs of
// both families; in one scenario the ports are also retired and started again under the run. Under
// ThreadSanitizer the same run proves the absence of data races; two writers on one handle race for their
// counts.
#include <deque>

#include "driver/serial/serial_fixture.h"
#include "driver/stress/stress_end.h"

namespace serialtest {
namespace {

using serialtest::PrintTo;

constexpr int kRetirements = 4;

// An end run by threads of this program, answering as a program on the other side of a pipe would.
class LocalEnd {
  public:
    LocalEnd(const std::u16string& port, unsigned seed) : end_(port, seed) {}
    bool Open() { return end_.Open(); }
    void Say(const std::string& line) {
        std::string answer = end_.Command(line);
        if (!answer.empty()) {
            answers_.push_back(std::move(answer));
        }
    }
    std::string ReadLine() {
        if (answers_.empty()) {
            return "<no answer>";
        }
        std::string answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

  private:
    stress::StressEnd end_;
    std::deque<std::string> answers_;
};

struct Scenario {
    const char* name;
    const char16_t* family;
    bool retire;  // deactivate and activate the ends again during the rough phase
};

class StressTest : public PairTest, public ::testing::WithParamInterface<Scenario> {
  protected:
    StressTest() : PairTest(GetParam().family) {}
};

TEST_P(StressTest, EveryByteWrittenAndNotPurgedArrivesInOrder) {
    for (HANDLE& port : ports_) {
        CloseHandle(port);
        port = INVALID_HANDLE_VALUE;
    }
    LocalEnd first(Name(0), 11);
    LocalEnd second(Name(1), 22);
    ASSERT_TRUE(first.Open());
    ASSERT_TRUE(second.Open());
    std::function<void()> retire;
    if (GetParam().retire) {
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
    stress::RunStressPhases<LocalEnd>({&first, &second}, retire);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, StressTest,
                         ::testing::Values(Scenario{"Com", u"COM", false}, Scenario{"Kmx", u"KMX", false},
                                           Scenario{"ComRetired", u"COM", true}),
                         RowName{});

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
