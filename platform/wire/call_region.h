// The shared memory of one call connection: a request area, a reply area and the doorbells between the
// program's thread that makes calls and the host's thread that serves them.
//
// The program creates the region (a sealed memfd, so it can neither shrink nor grow once the host has
// mapped it) and passes it with its call connection's hello. A call is then a hand-over in memory: the
// program writes its request into the request area and raises `request`; the host's thread, watching that
// word, copies the request out, runs it, writes the reply into the reply area and sets `reply` to the same
// number. Both sides watch their word first (the adaptive spin of the kernel's own waits) and only then
// sleep on it with a futex, so a call answered within the watch costs no system call and no wake-up at all.
// A message too large for its area travels over the connection's socket instead, announced in the area.
//
// Neither side trusts the other's words. The host reads a request's size once, checks it against its own
// idea of the area, and copies the bytes out before it looks at them: a program that scribbles over its
// region breaks only its own calls. The program likewise checks the reply's size before it copies it out.
// Ending a region ends every wait on it: the program's thread ends it when it goes away, the host when it
// ends the connection, and the program's watch of its session ends every region when the host dies. The
// end is a bit of the doorbell words themselves, so a sleeper can never miss it between its look and its
// sleep.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "wire/protocol.h"
#include "kernel/adaptive_spin.h"

namespace ce::wire {

// A size word saying that the message travels over the socket.
inline constexpr uint32_t kMessageOnSocket = 0xFFFFFFFFu;

// The doorbells count calls in their low 31 bits; the top bit is the region's end.
inline constexpr uint32_t kEndedBit = 0x80000000u;
inline constexpr uint32_t kCallNumberMask = ~kEndedBit;

struct RegionWords {
    std::atomic<uint32_t> request;        // numbered by the program for each request
    std::atomic<uint32_t> reply;          // given the request's number by the host after its reply
    std::atomic<uint32_t> hostSleeps;     // the host's thread sleeps (or is about to) on `request`
    std::atomic<uint32_t> programSleeps;  // the program's thread sleeps (or is about to) on `reply`
    std::atomic<uint32_t> requestBytes;   // size of the request in its area, or kMessageOnSocket
    std::atomic<uint32_t> replyBytes;     // size of the reply in its area, or kMessageOnSocket
    // The processor the host's thread is bound to, as MessageHeader::processor says it (0: any). Only the
    // host writes it; the program reads it to know whether a watch for the reply would only keep the host's
    // thread from the processor it needs.
    std::atomic<uint32_t> hostProcessor;
};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "futex words are plain 32-bit words");

class CallRegion {
  public:
    CallRegion() = default;
    ~CallRegion();
    CallRegion(CallRegion&& other) noexcept;
    CallRegion& operator=(CallRegion&& other) noexcept;
    CallRegion(const CallRegion&) = delete;
    CallRegion& operator=(const CallRegion&) = delete;

    // The program's side: a new region and the descriptor to pass to the host (the caller closes it once
    // passed). False (errno set) when no shared memory can be had.
    static bool Create(CallRegion* region, int* fd);
    // The host's side: maps a region a program passed, after checking that it is a sealed memfd of exactly
    // the expected size; false otherwise. Never takes ownership of fd.
    static bool Adopt(int fd, CallRegion* region);

    bool valid() const { return words_ != nullptr; }
    // A forked child gets no copy of the mapping: the region stays the parent's thread's alone.
    void KeepFromChildren();
    // Drops a region this process has no mapping of (a forked child's inherited thread state).
    void Forget() { base_ = nullptr, words_ = nullptr; }
    RegionWords& words() { return *words_; }
    uint8_t* requestArea() { return base_ + kAreasOffset; }
    uint8_t* replyArea() { return base_ + kAreasOffset + kRegionAreaBytes; }

    // Gives `word` the call number `number` (keeping the end) and wakes its sleeper, if any.
    static void Ring(std::atomic<uint32_t>& word, uint32_t number, std::atomic<uint32_t>& sleeps);

    enum class Wait { kRang, kEnded, kTimedOut };
    // Waits until `word` holds another call number than `seen` or the region ends: watches with `spinner`
    // first (when one is given), then sleeps on the word, for at most `timeout`.
    Wait Await(std::atomic<uint32_t>& word, uint32_t seen, std::atomic<uint32_t>& sleeps,
               AdaptiveSpin* spinner, std::chrono::milliseconds timeout);
    bool ended() const { return (words_->request.load(std::memory_order_acquire) & kEndedBit) != 0; }

    enum class Message { kRequest, kReply };
    // Puts a request or reply in its area and rings its doorbell with `number`; one too large for the area
    // is announced in the area, rung first and then sent on fd, since the other side looks at the socket only
    // once rung (a message larger than the socket's buffer would otherwise wait for that look). False when
    // the socket is gone.
    bool Post(Message which, uint32_t number, const std::vector<uint8_t>& message, int fd);
    // Takes the message the other side posted: its size read once and checked against the area and against
    // the header of the copy, or received on fd. False when it cannot be had or is malformed.
    bool Take(Message which, int fd, std::vector<uint8_t>* message);

    // Ends the region for both sides and wakes whoever sleeps on it.
    void End();

    static constexpr size_t kAreasOffset = 64;
    static constexpr size_t kBytes = kAreasOffset + 2 * size_t{kRegionAreaBytes};

  private:
    // What belongs to one direction: the message's area, its size word, its doorbell and its sleeper.
    struct Lane {
        uint8_t* area;
        std::atomic<uint32_t>& bytes;
        std::atomic<uint32_t>& bell;
        std::atomic<uint32_t>& sleeps;
    };
    Lane LaneOf(Message which);

    uint8_t* base_ = nullptr;
    RegionWords* words_ = nullptr;
};

}  // namespace ce::wire
