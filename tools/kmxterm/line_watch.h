// A thread waiting in WaitCommEvent, keeping the last communication events seen for the status line.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

// Every event a port can report that a person may want to see.
inline constexpr DWORD kWatchedEvents = EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD |
                                        EV_BREAK | EV_ERR | EV_RING | EV_RX80FULL;

// "RXCHAR CTS" for EV_RXCHAR | EV_CTS, in bit order.
std::string EventNames(DWORD events);

class LineWatch {
  public:
    // changed runs on the watching thread after each event.
    LineWatch(HANDLE port, std::function<void()> changed);
    ~LineWatch();
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    void Start();
    void Stop();
    // The names of the most recent distinct events, the newest first.
    std::string Recent() const;

  private:
    void Run();

    HANDLE port_;
    std::function<void()> changed_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    mutable std::mutex mutex_;
    std::vector<DWORD> recent_;  // guarded by mutex_: single EV_* bits, newest first
};
