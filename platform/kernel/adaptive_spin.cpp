#include "kernel/adaptive_spin.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace ce {

namespace {

using std::chrono::nanoseconds;

// Below this a spin is not worth starting.
constexpr nanoseconds kMinSpin{4000};
// A thread whose spins failed tries a whole one every so many waits, to notice when spinning pays again:
// a shorter probe would never catch a partner that sleeps too, and both would go on sleeping for good.
// Each probe in vain doubles the waits before the next, up to this many, so a thread that waits for
// something slow wastes little on probes, yet notices within a few dozen waits when the pace quickens. (A
// thread that shares its processor with the one it waits for loses its processor early in each probe, so
// those probes are short.)
constexpr unsigned kMostWaitsPerProbe = 64;

// How often the machine's load is looked at again.
constexpr nanoseconds kLoadSampleInterval{2000000};

// The processors of the process, taken when the library loads: a thread may later be bound to one of them
// (the device host binds its call threads), but the threads it waits for may run on any.
const int kUsableProcessors = [] {
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof(set), &set) == 0 ? CPU_COUNT(&set) : 1;
}();

int UsableProcessors() {
    return kUsableProcessors;
}

// The threads runnable on the whole machine right now, ourselves included (the fourth field of
// /proc/loadavg, "running/total"); -1 when it cannot be read.
int RunnableThreads() {
    static const int file = open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    char text[128];
    const ssize_t length = file >= 0 ? pread(file, text, sizeof(text) - 1, 0) : -1;
    if (length <= 0) {
        return -1;
    }
    text[length] = '\0';
    int running = -1;
    return std::sscanf(text, "%*s %*s %*s %d/", &running) == 1 ? running : -1;
}

}  // namespace

// Spinning only pays when a processor is free for the thread we wait for; with more runnable threads
// than processors a spin takes the processor from the very thread that would wake us. One thread more is
// let pass: some short-lived thread of the system is runnable at almost any moment.
bool ProcessorToSpare() {
    static std::atomic<int64_t> nextSample{0};
    static std::atomic<bool> spare{true};
    if (UsableProcessors() < 2) {
        return false;
    }
    const int64_t now =
        std::chrono::duration_cast<nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    int64_t due = nextSample.load(std::memory_order_relaxed);
    if (now >= due && nextSample.compare_exchange_strong(due, now + kLoadSampleInterval.count())) {
        const int running = RunnableThreads();
        spare.store(running < 0 || running <= UsableProcessors() + 1, std::memory_order_relaxed);
    }
    return spare.load(std::memory_order_relaxed);
}

nanoseconds AdaptiveSpin::Budget() {
    if (!ProcessorToSpare()) {
        return nanoseconds::zero();
    }
    if (limit_ >= kMinSpin) {
        return std::min(limit_, longest_);
    }
    if (++waitsSinceProbe_ < waitsPerProbe_) {
        return nanoseconds::zero();
    }
    waitsSinceProbe_ = 0;
    probing_ = true;
    return longest_;
}

void AdaptiveSpin::Record(bool caught, nanoseconds waited) {
    if (caught) {
        limit_ = std::clamp(std::max(limit_, 2 * waited), kMinSpin, longest_);
        waitsPerProbe_ = kFirstWaitsPerProbe;
    } else {
        limit_ /= 2;
        if (probing_) {
            waitsPerProbe_ = std::min(2 * waitsPerProbe_, kMostWaitsPerProbe);
        }
    }
    probing_ = false;
}

}  // namespace ce
