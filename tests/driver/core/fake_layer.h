// A port layer of the tests' own behind the core's table: every slot records its call, and the test decides
// what the slots answer, what they report pending and where they block. The core is the system under test;
// this stands where the virtual port layer would.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "core/instance.h"

namespace fake {

// What the slots do; set by the test before the calls it is about.
struct Behaviour {
    std::atomic<bool> initFails{false};
    std::atomic<BOOL> openResult{TRUE};
    std::atomic<BOOL> powerResult{TRUE};
    // Interrupt masks GetInterruptType answers, one per call; 0 once they run out.
    std::vector<DWORD> interrupts;  // guarded by Calls::lock
    // Bytes RxIntr hands over per call (no more than it has room for).
    std::atomic<DWORD> rxBytesPerCall{0};
    // When set, GetInterruptType and Ioctl block on these events first.
    std::atomic<HANDLE> interruptGate{nullptr};
    std::atomic<HANDLE> ioctlGate{nullptr};
    // Seen inside RxIntr: the owner handle's count of active calls.
    std::atomic<LONG> ownerCallsInPass{-1};
};

struct Calls {
    std::mutex lock;
    std::vector<std::string> log;  // slot names, with their argument where it matters
};

Behaviour& Behave();
Calls& Recorded();
// The recorded calls, then forgotten.
std::vector<std::string> TakeLog();
int Count(const std::string& call);

// The layer for CreateInstance; its objects are the test's own.
extern const PortLayer kLayer;

// Resets behaviour and log for a new test.
void Reset();

}  // namespace fake
