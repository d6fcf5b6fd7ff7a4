#include "kernel/adaptive_spin.h"

#include <algorithm>
#include <thread>

namespace ce {

namespace {

using std::chrono::nanoseconds;

// Longer than a hand-over between two busy threads takes, shorter than the sleep and wake-up it saves.
constexpr nanoseconds kMaxSpin{60000};
// Below this a spin is not worth starting.
constexpr nanoseconds kMinSpin{4000};
// A thread whose spins failed tries a whole one every so many waits, to notice when spinning pays again:
// a shorter probe would never catch a partner that sleeps too, and both would go on sleeping for good.
constexpr unsigned kWaitsPerProbe = 8;

bool SeveralProcessors() {
    static const bool several = std::thread::hardware_concurrency() > 1;
    return several;
}

struct SpinState {
    nanoseconds limit = kMaxSpin;
    unsigned waitsSinceProbe = 0;
};

thread_local SpinState tSpin;

}  // namespace

nanoseconds AdaptiveSpin::Budget() {
    if (!SeveralProcessors()) {
        return nanoseconds::zero();  // the thread we wait for cannot run while we spin
    }
    if (tSpin.limit >= kMinSpin) {
        return tSpin.limit;
    }
    if (++tSpin.waitsSinceProbe < kWaitsPerProbe) {
        return nanoseconds::zero();
    }
    tSpin.waitsSinceProbe = 0;
    return kMaxSpin;
}

void AdaptiveSpin::Record(bool caught, nanoseconds waited) {
    if (caught) {
        tSpin.limit = std::clamp(std::max(tSpin.limit, 2 * waited), kMinSpin, kMaxSpin);
    } else {
        tSpin.limit /= 2;
    }
}

}  // namespace ce
