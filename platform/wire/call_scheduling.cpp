#include "wire/call_scheduling.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "kernel/adaptive_spin.h"

namespace ce::wire {

uint16_t CallerProcessor() {
    const int processor = sched_getcpu();
    return processor >= 0 && processor < UINT16_MAX ? static_cast<uint16_t>(processor + 1) : 0;
}

ProcessorFollower::ProcessorFollower() {
    CPU_ZERO(&allowed_);
    canBind_ = sched_getaffinity(0, sizeof(allowed_), &allowed_) == 0 && CPU_COUNT(&allowed_) > 1;
}

void ProcessorFollower::Follow(uint16_t callerProcessor) {
    if (!canBind_) {
        return;
    }
    const int processor = static_cast<int>(callerProcessor) - 1;
    const bool usable = processor >= 0 && processor < CPU_SETSIZE && CPU_ISSET(processor, &allowed_);
    const int wanted = usable ? processor : -1;
    lastCaller_ = wanted;
    if (wanted == bound_) {
        callsFromCandidate_ = 0;
        restlessness_ = std::max(0, restlessness_ - 1);
        return;
    }
    restlessness_ += 2;
    if (wanted != candidate_) {
        candidate_ = wanted;
        callsFromCandidate_ = 0;
    }
    if (++callsFromCandidate_ >= kCallsBeforeMove) {
        Bind(wanted);
    } else if (restlessness_ >= kRestlessnessToLetGo && bound_ >= 0) {
        // The caller moves back and forth: bound, this thread would only take the caller's processor
        // whenever the caller wakes there, and the caller would move again.
        Bind(-1);
    }
}

void ProcessorFollower::Bind(int processor) {
    cpu_set_t set = allowed_;
    if (processor >= 0) {
        CPU_ZERO(&set);
        CPU_SET(processor, &set);
    }
    if (sched_setaffinity(0, sizeof(set), &set) == 0) {
        bound_ = processor;
    }
    restlessness_ = 0;
    callsFromCandidate_ = 0;
}

bool WatchSocket(int fd, AdaptiveSpin& spinner) {
    // Each look is a system call, so the clock is read after every one.
    constexpr int kLooksPerClockRead = 1;
    spinner.Spin(
        [fd] {
            char byte;
            return recv(fd, &byte, sizeof(byte), MSG_PEEK | MSG_DONTWAIT) >= 0 || errno != EAGAIN;
        },
        AdaptiveSpin::Clock::time_point::max(), kLooksPerClockRead);
    return true;
}

}  // namespace ce::wire
