// The port's two directions on threads of their own, so that the loop never waits for the port: a reader that
// takes what the port received while there is room for it, and a writer that hands the port what the Linux
// side sent, waiting as long as the port's flow control holds it. Both queues are bounded, so a slow Linux
// side holds the port (whose own flow control then holds the other end) and a held port holds the Linux side.
//
// Lock: mutex_ guards every field below it; the threads hold it only to move bytes in and out of the queues,
// never across a call to the port.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include <windows.h>

#include "link_session.h"

inline constexpr size_t kReceivedQueueBytes = 16 * 1024;
inline constexpr size_t kUnsentQueueBytes = 16 * 1024;

class PortPump {
  public:
    // wakeup is told when received bytes arrive, room appears, bytes were dropped or the port fails.
    PortPump(HANDLE port, Wakeup& wakeup);
    ~PortPump();
    PortPump(const PortPump&) = delete;
    PortPump& operator=(const PortPump&) = delete;

    void Start();
    // Ends both threads. Only calls on the port end them, so the port's owner closes it between the two:
    // BeginStop(), close the port, Join().
    void BeginStop();
    void Join();

    // Appends up to max received bytes to *out; answers how many.
    size_t TakeReceived(std::string* out, size_t max);
    size_t UnsentRoom();
    // Queues bytes for the port: at most UnsentRoom() of them.
    void Send(std::string_view bytes);
    // Waits until everything queued reached the port, or the port took nothing for quietMs.
    void Drain(DWORD quietMs);
    // A purge: what was received and not yet taken, or what was queued and not yet written. abortWrite
    // ends a write in progress on the port (PurgeComm); it is called until a write of discarded bytes ends.
    void DiscardReceived();
    void DiscardUnsent(const std::function<void()>& abortWrite);
    // The count of bytes the port refused because nobody had its other end open, since the last call.
    uint64_t TakeDropped();
    // True with the Win32 error once a call on the port failed other than by the stop.
    bool Failed(DWORD* error);

  private:
    void Read();
    void Write();
    void Fail(DWORD error);

    HANDLE port_;
    Wakeup& wakeup_;
    std::thread reader_;
    std::thread writer_;

    std::mutex mutex_;
    std::condition_variable roomToRead_;  // the reader waits for room in received_
    std::condition_variable toWrite_;     // the writer waits for unsent_; Drain waits for its progress
    bool stop_ = false;
    std::string received_;
    std::string unsent_;
    uint64_t discards_ = 0;         // DiscardUnsent calls: a write in progress then leaves unsent_ alone
    bool writing_ = false;          // the writer is in WriteFile
    uint64_t writingDiscards_ = 0;  // discards_ when the bytes of that write were taken
    uint64_t dropped_ = 0;
    bool failed_ = false;
    DWORD failure_ = 0;
};
