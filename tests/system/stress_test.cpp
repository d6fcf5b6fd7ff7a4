// Two programs on the ends of a pair, each writing, reading, waiting for events and changing lines and
// settings at once. A smooth phase loses nothing; a rough phase adds purges, closes, software flow control
// and injected characters and may lose bytes but never reorders them; a finish after it loses nothing again.
// Every program has a watchdog, and every command's answer a deadline, so a deadlock fails the test.
#include <sstream>

#include "system/system_support.h"

namespace systemtest {
namespace {

constexpr DWORD kPhaseMs = 1500;
constexpr int kFinishRecords = 4000;

// The number after "wrote ".
uint32_t Wrote(const std::string& line) {
    EXPECT_EQ(line.rfind("wrote ", 0), 0u) << line;
    return static_cast<uint32_t>(std::strtoul(line.c_str() + 6, nullptr, 10));
}

using StressTest = SystemTest;

TEST_F(StressTest, EveryByteWrittenAndNotPurgedArrivesInOrder) {
    Program ends[2] = {Program(Role({"stress", "COM5:", "11"})), Program(Role({"stress", "COM6:", "22"}))};
    for (Program& end : ends) {
        ASSERT_EQ(end.ReadLine(), "open");
    }
    // Each phase ends with the number of records each end wrote.
    auto phase = [&](const char* command) {
        std::array<uint32_t, 2> wrote{};
        for (Program& end : ends) {
            end.Say(command);
        }
        Sleep(kPhaseMs);
        for (Program& end : ends) {
            end.Say("stop");
        }
        for (int i : {0, 1}) {
            wrote[i] = Wrote(ends[i].ReadLine());
        }
        return wrote;
    };
    const std::array<uint32_t, 2> smooth = phase("smooth");
    EXPECT_GT(smooth[0], 0u);
    EXPECT_GT(smooth[1], 0u);
    // Whatever the smooth phase wrote is in before anything may be lost.
    for (int i : {0, 1}) {
        ends[i].Say("drain " + std::to_string(smooth[1 - i]));
    }
    for (int i : {0, 1}) {
        EXPECT_EQ(ends[i].ReadLine(), "drained " + std::to_string(smooth[1 - i]));
    }
    const std::array<uint32_t, 2> rough = phase("rough");
    for (Program& end : ends) {
        end.Say("finish " + std::to_string(kFinishRecords));
    }
    std::array<uint32_t, 2> last{};
    for (int i : {0, 1}) {
        last[i] = Wrote(ends[i].ReadLine());
        EXPECT_EQ(last[i], rough[i] + kFinishRecords);
    }
    for (int i : {0, 1}) {
        std::ostringstream check;
        check << "check " << smooth[1 - i] << " " << rough[1 - i] << " " << last[1 - i];
        ends[i].Say(check.str());
    }
    for (Program& end : ends) {
        const std::string verdict = end.ReadLine();
        EXPECT_EQ(verdict.rfind("ok ", 0), 0u) << verdict;
        std::printf("%s\n", verdict.c_str());
        EXPECT_EQ(end.Wait(), 0);
    }
}

}  // namespace
}  // namespace systemtest
