// Choice of the process's front-end.
#include "user/front_end/front_end.h"

#include <ceplatform_ui.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <unistd.h>

namespace ce::ui {
namespace {

std::atomic<FrontEndFactory> terminalFactory{nullptr};
std::atomic<bool> headless{false};
std::atomic<FrontEnd*> chosen{nullptr};

bool HeadlessAskedFor() {
    const char* variable = std::getenv("CE_UI_HEADLESS");
    return variable != nullptr && std::strcmp(variable, "1") == 0;
}

bool WantsHeadless() {
    return HeadlessAskedFor() || isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0;
}

}  // namespace

void RegisterTerminalFrontEnd(FrontEndFactory factory) {
    terminalFactory.store(factory);
}

unsigned long QueuedFrontEnd::WakeCount() {
    std::lock_guard<std::mutex> guard(lock_);
    return wakeCount_;
}

void QueuedFrontEnd::Wake() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++wakeCount_;
    }
    changed_.notify_all();
    WokenUp();
}

void QueuedFrontEnd::QueueEvents(const InputEvent* events, size_t count) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        events_.insert(events_.end(), events, events + count);
    }
    changed_.notify_all();
}

bool QueuedFrontEnd::TakeEventLocked(unsigned long wakeCount, InputEvent* event) {
    if (wakeCount != wakeCount_ || events_.empty()) {
        return false;
    }
    *event = events_.front();
    events_.pop_front();
    return true;
}

FrontEnd& CurrentFrontEnd() {
    // Leaked on purpose: threads may still wait for input at process exit.
    static FrontEnd* frontEnd = [] {
        FrontEndFactory factory = terminalFactory.load();
        if (factory != nullptr && !WantsHeadless()) {
            if (FrontEnd* terminal = factory()) {
                return terminal;
            }
        }
        headless.store(true);
        return NewHeadlessFrontEnd();
    }();
    chosen.store(frontEnd);
    return *frontEnd;
}

FrontEnd* ChosenFrontEnd() {
    return chosen.load();
}

bool HeadlessFrontEndActive() {
    CurrentFrontEnd();
    return headless.load();
}

}  // namespace ce::ui

extern "C" BOOL CeUiShowsWindows(void) {
    // Choosing the front-end takes the terminal, if there is one, for the windows to come.
    return !ce::ui::HeadlessFrontEndActive() || ce::ui::HeadlessAskedFor() ? TRUE : FALSE;
}
