#include "line_watch.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace {

constexpr size_t kRecentEvents = 4;
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

const char* NameOf(DWORD bit) {
    for (const EventName& event : kEventNames) {
        if (event.bit == bit) {
            return event.name;
        }
    }
    return "?";
}

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

LineWatch::LineWatch(HANDLE port, std::function<void()> changed)
    : port_(port), changed_(std::move(changed)) {}

LineWatch::~LineWatch() {
    Stop();
}

void LineWatch::Start() {
    if (!SetCommMask(port_, kWatchedEvents)) {
        done_.store(true);
        return;
    }
    thread_ = std::thread([this] { Run(); });
}

void LineWatch::Stop() {
    stop_.store(true);
    if (!thread_.joinable()) {
        return;
    }
    // A mask change ends a pending wait. Repeat it: the thread may be just about to start a new wait, which
    // the first change would not reach.
    while (!done_.load()) {
        SetCommMask(port_, 0);
        std::this_thread::sleep_for(kStopRetry);
    }
    thread_.join();
}

std::string LineWatch::Recent() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string text;
    for (const DWORD bit : recent_) {
        if (!text.empty()) {
            text.push_back(' ');
        }
        text += NameOf(bit);
    }
    return text;
}

void LineWatch::Run() {
    while (!stop_.load()) {
        DWORD events = 0;
        if (!WaitCommEvent(port_, &events, nullptr)) {
            break;  // the mask was cleared to stop us, or the port is gone: nothing left to watch
        }
        if (events == 0) {
            continue;  // the mask changed
        }
        {
            std::lock_guard<std::mutex> guard(mutex_);
            for (const EventName& event : kEventNames) {
                if ((events & event.bit) == 0) {
                    continue;
                }
                recent_.erase(std::remove(recent_.begin(), recent_.end(), event.bit), recent_.end());
                recent_.insert(recent_.begin(), event.bit);
            }
            if (recent_.size() > kRecentEvents) {
                recent_.resize(kRecentEvents);
            }
        }
        changed_();
    }
    done_.store(true);
}
