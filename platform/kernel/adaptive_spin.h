// How long a thread about to sleep in a wait first watches for its wake-up on the processor instead.
//
// Going to sleep and being woken from another processor costs tens of microseconds on a virtual machine,
// more than most hand-overs between two threads of a pair take. A thread that spins a little first catches
// those hand-overs awake. The spin adapts per thread: a spin that caught its wake-up lets the next ones last
// at least twice as long as that wait took; a spin in vain halves the time, so threads that wait for
// something slow, or that share a processor with the thread they wait for, soon stop spinning and only
// probe now and then.
#pragma once

#include <chrono>

namespace ce {

class AdaptiveSpin {
  public:
    // The spin this thread may do before its next sleep; zero when it should not spin.
    static std::chrono::nanoseconds Budget();
    // What the last spin saw: whether the wake-up came within it, and how long that took.
    static void Record(bool caught, std::chrono::nanoseconds waited);
};

}  // namespace ce
