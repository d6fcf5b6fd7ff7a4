// The spin before a wait's sleep: a spin that loses its processor gives up at once, without losing the
// wake-up it was waiting for.
#include "kernel/adaptive_spin.h"

#include <gtest/gtest.h>

#include <thread>

namespace ce {
namespace {

using namespace std::chrono_literals;

// One spin whose first look is followed by a pause far longer than any look takes, as when the scheduler
// gives the processor to another thread, yet well within the spin's budget (60 µs); ready() answers true
// from look `readyFrom` on. Answers the looks taken (0: the spinner did not spin, the machine had no
// processor to spare) and what Spin answered.
struct SpinSeen {
    int looks = 0;
    bool answer = false;
};

SpinSeen SpinThatLosesItsProcessor(int readyFrom) {
    AdaptiveSpin spinner;
    SpinSeen seen;
    seen.answer = spinner.Spin(
        [&] {
            ++seen.looks;
            if (seen.looks == 1) {
                const auto until = AdaptiveSpin::Clock::now() + 25us;
                while (AdaptiveSpin::Clock::now() < until) {
                }
            }
            return seen.looks >= readyFrom;
        },
        AdaptiveSpin::Clock::time_point::max(), 1);
    return seen;
}

// Spins until one really spins: on a loaded machine the spinner rightly declines for a while.
SpinSeen SpinningOnce(int readyFrom) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const SpinSeen seen = SpinThatLosesItsProcessor(readyFrom);
        if (seen.looks > 0) {
            return seen;
        }
        std::this_thread::sleep_for(5ms);
    }
    return {};
}

TEST(AdaptiveSpin, ALostProcessorEndsTheSpinWithOneLastLook) {
    if (std::thread::hardware_concurrency() < 2) {
        GTEST_SKIP() << "one processor: nobody spins";
    }
    // Ready only much later: the spin stops at the pause instead of spinning on (50 looks take a few
    // microseconds, far within the spin's budget).
    SpinSeen seen = SpinningOnce(50);
    if (seen.looks == 0) {
        GTEST_SKIP() << "the machine had no processor to spare for five seconds";
    }
    EXPECT_EQ(seen.looks, 2);
    EXPECT_FALSE(seen.answer);
    // Ready during the pause: the last look sees it, so the wait does not sleep for nothing.
    seen = SpinningOnce(2);
    if (seen.looks == 0) {
        GTEST_SKIP() << "the machine had no processor to spare for five seconds";
    }
    EXPECT_EQ(seen.looks, 2);
    EXPECT_TRUE(seen.answer);
}

}  // namespace
}  // namespace ce
