#include "line_watch.h"

#include <algorithm>

namespace {

constexpr size_t kRecentEvents = 4;

}  // namespace

LineWatch::LineWatch(HANDLE port, std::function<void()> changed)
    : changed_(std::move(changed)), watch_(port, kWatchedEvents, [this](DWORD events) { Seen(events); }) {}

void LineWatch::Start() {
    watch_.Start();
}

void LineWatch::Stop() {
    watch_.Stop();
}

std::string LineWatch::Recent() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string text;
    for (const DWORD bit : recent_) {
        if (!text.empty()) {
            text.push_back(' ');
        }
        text += EventNames(bit);
    }
    return text;
}

void LineWatch::Seen(DWORD events) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (DWORD bit = 1; bit != 0 && bit <= events; bit <<= 1) {
            if ((events & bit) == 0 || EventNames(bit).empty()) {
                continue;
            }
            recent_.erase(std::remove(recent_.begin(), recent_.end(), bit), recent_.end());
            recent_.insert(recent_.begin(), bit);
        }
        if (recent_.size() > kRecentEvents) {
            recent_.resize(kRecentEvents);
        }
    }
    changed_();
}
