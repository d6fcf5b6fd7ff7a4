// The stress run on a pair: each end writes numbered records and reads its partner's, while other threads
// wait for comm events and change lines and settings, and in the rough phase also purge, close and reopen,
// switch flow control and inject flow characters. A smooth phase loses nothing; a rough phase may lose bytes
// but never reorders them; a finish after it loses nothing again. Comm events must have come by the end.
//
// The same run serves every scenario: both ends as threads of one program, or each end in a program of its
// own driven over its standard streams. An end takes commands, one a line, and answers some:
//   smooth | rough   start that phase's writer and helpers (the reader runs from the first phase on)
//   stop             ends the phase: its helpers first, then after a rough phase settings and lines go back
//                    to the lossless ones with every hold released, and the writer stops at a record's end:
//                    "wrote <records so far>"
//   drain <n>        waits until the partner's records up to n came: "drained <records come>"
//   finish <n>       write n more records: "wrote <records so far>"
//   check <smoothEnd> <roughEnd> <end>   the partner's figures; waits for its last record and answers
//                    "ok <records> <events>" or "FAIL <why>"; the end is done then
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include <windows.h>

namespace stress {

class StressEndState;

// The flow control that keeps an end's transfer lossless, set for both ways: the end receives and sends.
enum class Flow { kRtsCts, kDtrDsr, kXonXoff };

// How an end takes part in the lossless phases. A slow reader takes random amounts and now and then
// pauses, so that its ring fills and the flow control must hold the partner.
struct Lossless {
    Flow flow = Flow::kRtsCts;
    bool slowReader = false;
};

// One end of the run on a port opened by name.
class StressEnd {
  public:
    StressEnd(const std::u16string& port, unsigned seed, Lossless lossless = {});
    ~StressEnd();
    StressEnd(const StressEnd&) = delete;
    StressEnd& operator=(const StressEnd&) = delete;

    // Opens the port for data and a second handle for events; false when either fails.
    bool Open();
    // Runs one command; its answer, or empty for a command that has none.
    std::string Command(const std::string& line);
    // The same for an end run by threads of this program, answering as a program on the other side of a
    // pipe would: Say runs the command, ReadLine takes the next answer ("<no answer>" when none is left).
    void Say(const std::string& line);
    std::string ReadLine();

  private:
    std::unique_ptr<StressEndState> state_;
    std::deque<std::string> answers_;
};

inline constexpr DWORD kStressPhaseMs = 1500;
inline constexpr int kStressFinishRecords = 4000;

// The run's script over two ends that take commands by Say(line) and answer by ReadLine(). Without a rough
// phase the finish follows the smooth one, and nothing may be lost at all. `during` runs while the rough
// phase goes on and takes its time (a plain pause by default).
template <class End>
void RunStressPhases(std::array<End*, 2> ends, bool rough = true, const std::function<void()>& during = {}) {
    const auto wrote = [](const std::string& line) {
        EXPECT_EQ(line.rfind("wrote ", 0), 0u) << line;
        return static_cast<uint32_t>(std::strtoul(line.c_str() + 6, nullptr, 10));
    };
    // Each phase ends with the number of records each end wrote.
    const auto phase = [&](const char* command, const std::function<void()>& meanwhile) {
        std::array<uint32_t, 2> written{};
        for (End* end : ends) {
            end->Say(command);
        }
        meanwhile ? meanwhile() : Sleep(kStressPhaseMs);
        for (End* end : ends) {
            end->Say("stop");
        }
        for (int i : {0, 1}) {
            written[i] = wrote(ends[i]->ReadLine());
        }
        return written;
    };
    const std::array<uint32_t, 2> smooth = phase("smooth", {});
    EXPECT_GT(smooth[0], 0u);
    EXPECT_GT(smooth[1], 0u);
    // Whatever the smooth phase wrote is in before anything may be lost.
    for (int i : {0, 1}) {
        ends[i]->Say("drain " + std::to_string(smooth[1 - i]));
    }
    for (int i : {0, 1}) {
        EXPECT_EQ(ends[i]->ReadLine(), "drained " + std::to_string(smooth[1 - i]));
    }
    const std::array<uint32_t, 2> roughEnd = rough ? phase("rough", during) : smooth;
    for (End* end : ends) {
        end->Say("finish " + std::to_string(kStressFinishRecords));
    }
    std::array<uint32_t, 2> last{};
    for (int i : {0, 1}) {
        last[i] = wrote(ends[i]->ReadLine());
        EXPECT_EQ(last[i], roughEnd[i] + kStressFinishRecords);
    }
    for (int i : {0, 1}) {
        std::ostringstream check;
        check << "check " << smooth[1 - i] << " " << roughEnd[1 - i] << " " << last[1 - i];
        ends[i]->Say(check.str());
    }
    for (End* end : ends) {
        const std::string verdict = end->ReadLine();
        EXPECT_EQ(verdict.rfind("ok ", 0), 0u) << verdict;
        std::printf("%s\n", verdict.c_str());
    }
}

}  // namespace stress
