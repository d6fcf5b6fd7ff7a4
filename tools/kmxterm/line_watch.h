// The last communication events a port reported, kept for the status line.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#include "comm_event_watch.h"

// Every event a port can report that a person may want to see.
inline constexpr DWORD kWatchedEvents = EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD |
                                        EV_BREAK | EV_ERR | EV_RING | EV_RX80FULL;

class LineWatch {
  public:
    // changed runs on the watching thread after each event.
    LineWatch(HANDLE port, std::function<void()> changed);
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    void Start();
    void Stop();
    // The names of the most recent distinct events, the newest first.
    std::string Recent() const;

  private:
    void Seen(DWORD events);

    std::function<void()> changed_;
    mutable std::mutex mutex_;
    std::vector<DWORD> recent_;  // guarded by mutex_: single EV_* bits, newest first
    CommEventWatch watch_;       // last: its thread uses the members above
};
