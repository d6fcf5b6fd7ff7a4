#include "comm_event_watch.h"

#include <array>
#include <chrono>

namespace {

constexpr auto kStopRetry = std::chrono::milliseconds(20);

struct EventName {
    DWORD bit;
    const char* name;
};

constexpr std::array<EventName, 10> kEventNames = {{
    {EV_RXCHAR, "RXCHAR"},
    {EV_RXFLAG, "RXFLAG"},
    {EV_TXEMPTY, "TXEMPTY"},
    {EV_CTS, "CTS"},
    {EV_DSR, "DSR"},
    {EV_RLSD, "RLSD"},
    {EV_BREAK, "BREAK"},
    {EV_ERR, "ERR"},
    {EV_RING, "RING"},
    {EV_RX80FULL, "RX80FULL"},
}};

}  // namespace

std::string EventNames(DWORD events) {
    std::string text;
    for (const EventName& event : kEventNames) {
        if ((events & event.bit) != 0) {
            if (!text.empty()) {
                text.push_back(' ');
            }
            text += event.name;
        }
    }
    return text;
}

CommEventWatch::CommEventWatch(HANDLE port, DWORD mask, std::function<void(DWORD events)> events)
    : port_(port), mask_(mask), events_(std::move(events)) {}

CommEventWatch::~CommEventWatch() {
    Stop();
}

bool CommEventWatch::Start() {
    if (!SetCommMask(port_, mask_)) {
        done_.store(true);
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void CommEventWatch::Stop() {
    stop_.store(true);
    if (!thread_.joinable()) {
        return;
    }
    // A mask change ends a pending wait. Repeat it: the thread may be just about to start a new wait, which
    // the first change would not reach. A closed port ends the wait by itself.
    while (!done_.load()) {
        SetCommMask(port_, 0);
        std::this_thread::sleep_for(kStopRetry);
    }
    thread_.join();
}

void CommEventWatch::Run() {
    while (!stop_.load()) {
        DWORD events = 0;
        if (!WaitCommEvent(port_, &events, nullptr)) {
            break;  // the mask was cleared to stop us, or the port is gone: nothing left to watch
        }
        if (events != 0) {
            events_(events);
        }
    }
    done_.store(true);
}
