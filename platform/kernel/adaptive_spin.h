// How long a thread about to sleep in a wait first watches for its wake-up on the processor instead, and how
// long a thread that finds a short lock held tries again before it sleeps on it.
//
// Going to sleep and being woken from another processor costs tens of microseconds on a virtual machine,
// more than most hand-overs between two threads of a pair take. A thread that spins a little first catches
// those hand-overs awake. Each waiting thread keeps a spinner per kind of wait, and it adapts: a spin that
// caught its wake-up lets the next ones last at least twice as long as that wait took; a spin in vain halves
// the time, so threads that wait for something slow, or that share a processor with the thread they wait for,
// soon stop spinning and only probe now and then (less and less often while probes fail). A spin during which
// the thread lost its processor ends there and counts as in vain: the thread it waits for most likely needed
// that processor. Nobody spins while the machine has no processor to spare, for the same reason.
#pragma once

#include <chrono>

namespace ce {

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Whether a processor is free for the thread a spinner waits for (sampled every few milliseconds).
bool ProcessorToSpare();

// Takes a lock whose holders keep it for a moment only: a taker that finds it held tries again for a few
// microseconds before it sleeps, as sleeping on it and being woken costs far more than the wait.
template <typename Lock>
void LockSpinningFirst(Lock& lock) {
    constexpr int kTries = 400;  // a few microseconds of pauses
    if (lock.try_lock()) {
        return;
    }
    if (ProcessorToSpare()) {
        for (int i = 0; i < kTries; ++i) {
            CpuRelax();
            if (lock.try_lock()) {
                return;
            }
        }
    }
    lock.lock();
}

class AdaptiveSpin {
  public:
    using Clock = std::chrono::steady_clock;

    AdaptiveSpin() = default;
    // A spinner whose spins last at most `longest` (kMaxSpin when not said).
    explicit AdaptiveSpin(std::chrono::nanoseconds longest) : longest_(longest), limit_(longest) {}

    // Spins until ready() answers true, for at most this spinner's budget and never past `deadline`, and
    // no longer once the thread has lost its processor. Answers whether ready() did. The clock is read
    // after every triesPerClockRead looks (more when a look is cheap, one when it is a system call).
    template <typename Ready>
    bool Spin(Ready ready, Clock::time_point deadline = Clock::time_point::max(),
              int triesPerClockRead = kTriesPerClockRead) {
        const std::chrono::nanoseconds budget = Budget();
        if (budget == std::chrono::nanoseconds::zero()) {
            return false;
        }
        const auto start = Clock::now();
        const auto end = deadline - start < budget ? deadline : start + budget;
        for (auto last = start;;) {
            for (int i = 0; i < triesPerClockRead; ++i) {
                if (ready()) {
                    Record(true, Clock::now() - start);
                    return true;
                }
                CpuRelax();
            }
            const auto now = Clock::now();
            // A gap between two looks means this thread lost its processor, most likely to the thread it
            // waits for: the spin took that thread's turn, so it counts as a spin in vain.
            if (now >= end || now - last > kDescheduledGap) {
                Record(false, budget);
                return ready();  // one last look: the wake-up may have come meanwhile
            }
            last = now;
        }
    }

  private:
    static constexpr int kTriesPerClockRead = 16;
    // Far longer than kTriesPerClockRead looks take; a gap this long is the scheduler's.
    static constexpr std::chrono::nanoseconds kDescheduledGap{10000};
    // Longer than a hand-over between two busy threads takes, shorter than the sleep and wake-up it saves.
    static constexpr std::chrono::nanoseconds kMaxSpin{60000};
    // A spinner whose spins failed tries a whole one every so many waits at first (see Budget).
    static constexpr unsigned kFirstWaitsPerProbe = 8;

    // The spin allowed before the next sleep; zero when it should not spin.
    std::chrono::nanoseconds Budget();
    // What the last spin saw: whether the wake-up came within it, and how long that took.
    void Record(bool caught, std::chrono::nanoseconds waited);

    std::chrono::nanoseconds longest_ = kMaxSpin;
    std::chrono::nanoseconds limit_ = kMaxSpin;
    unsigned waitsSinceProbe_ = 0;
    unsigned waitsPerProbe_ = kFirstWaitsPerProbe;
    bool probing_ = false;
};

}  // namespace ce
