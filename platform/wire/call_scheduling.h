// Where and how the two threads of a call to the host run and wait: the program's thread that makes it and
// the host's thread that serves that program thread's calls.
//
// A program's thread sends a call and waits for its reply; the host's thread wakes, runs the call and
// answers. Each of those wake-ups costs tens of microseconds when it lands on an idle processor of a
// virtual machine (the processor has to be woken first), several times what the call itself costs, and the
// scheduler prefers idle processors for the threads it wakes. So the host's thread runs on the processor
// its caller ran on, and the two take turns there, as the call would if it ran on the caller's own thread
// (which is how calls into drivers run on the device). The caller watches its socket for the reply before
// it sleeps, as the kernel's waits watch for their wake-up (adaptive_spin.h): most replies come within
// that, and a thread that does not sleep is not moved away from its processor. A host thread that is not
// on its caller's processor watches for the next request the same way. Neither watches while the other is
// bound to its own processor: there the awaited thread runs only once the watcher gives the processor up
// (the region tells the program where its host thread is bound).
#pragma once

#include <sched.h>

#include <chrono>
#include <cstdint>

#include "kernel/adaptive_spin.h"

namespace ce::wire {

// How long a program's thread watches for a reply at most. Longer than the kernel's waits spin: a 1-byte
// exchange between two programs through a pair takes about 30 µs when each program's thread shares its
// processor with its host thread, and about 90 µs each way in the arrangement where the scheduler keeps
// moving the callers to the idle processor; a watch that outlasts the latter keeps its caller where it is,
// and the arrangement settles into the former. Calls that wait longer soon stop being watched (the
// spinner adapts).
inline constexpr std::chrono::nanoseconds kLongestReplyWatch{150000};

// The processor the calling thread runs on, as MessageHeader::processor says it.
uint16_t CallerProcessor();

// Binds the calling thread to the processor its caller names (MessageHeader::processor). A caller that
// moves is followed once it has called from its new processor a few times in a row; one that moves back
// and forth is not chased with a migration on every call: the thread may then run anywhere until the
// caller settles. A processor this process may not use, or none, lets the thread run anywhere too.
class ProcessorFollower {
  public:
    // Calls in a row after which a caller's move is followed.
    static constexpr int kCallsBeforeMove = 3;
    static constexpr int kRestlessnessToLetGo = 6;

    ProcessorFollower();
    void Follow(uint16_t callerProcessor);
    // The processor the thread is bound to, or -1 when it may run on any.
    int bound() const { return bound_; }
    // Whether the thread is bound to the processor its caller last called from.
    bool OnCallersProcessor() const { return bound_ >= 0 && bound_ == lastCaller_; }

  private:
    cpu_set_t allowed_;  // the thread's processors when it started
    bool canBind_ = false;
    int bound_ = -1;
    int lastCaller_ = -1;
    int candidate_ = -1;
    int callsFromCandidate_ = 0;  // in a row
    // Each call from elsewhere than bound_ adds two, each from there takes one off: a caller away every
    // other call reaches kRestlessnessToLetGo, one away every third call never does.
    int restlessness_ = 0;

    void Bind(int processor);
};

// Watches fd with `spinner` until it has something to receive or its peer closed it, for as long as the
// spinner allows (nothing when no processor is to spare); the receive that follows then takes it without
// sleeping, or sleeps as before. Takes nothing from the socket. Answers true, so that it fits in a chain
// of conditions.
bool WatchSocket(int fd, AdaptiveSpin& spinner);

}  // namespace ce::wire
