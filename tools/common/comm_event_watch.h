// A thread waiting in WaitCommEvent on a port and handing each event to a callback, so that a program
// learns of line changes as they happen instead of asking on a timer.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include <windows.h>

// "RXCHAR CTS" for EV_RXCHAR | EV_CTS, in bit order.
std::string EventNames(DWORD events);

class CommEventWatch {
  public:
    // events runs on the watching thread with the EV_* bits of each event the port reports.
    CommEventWatch(HANDLE port, DWORD mask, std::function<void(DWORD events)> events);
    ~CommEventWatch();
    CommEventWatch(const CommEventWatch&) = delete;
    CommEventWatch& operator=(const CommEventWatch&) = delete;

    // False (with GetLastError) when the port refuses the mask; nothing is watched then.
    bool Start();
    // Ends the wait and joins the thread; also after the port was closed under it. Not from the callback.
    void Stop();

  private:
    void Run();

    HANDLE port_;
    DWORD mask_;
    std::function<void(DWORD)> events_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
};
