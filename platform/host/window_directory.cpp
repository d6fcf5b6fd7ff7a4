#include "host/window_directory.h"

#include <sys/socket.h>

#include <winuser.h>

#include "kernel/wide_string.h"
#include "wire/wire.h"

namespace ce::host {

using namespace wire;
namespace {

bool Matches(const WindowText& wanted, const WindowText& have) {
    return !wanted || (have && EqualsIgnoreCase(*wanted, *have));
}

}  // namespace

WindowDirectory& WindowDirectory::Instance() {
    static WindowDirectory* directory = new WindowDirectory;
    return *directory;
}

DWORD WindowDirectory::Publish(Session& owner, uint32_t window, const WindowText& className,
                               const WindowText& title, bool visible, uint32_t thread) {
    std::lock_guard<std::mutex> guard(lock_);
    // Checked under the lock: EndSession runs after the session ended, so nothing is added behind it.
    if (window == 0 || owner.Ended()) {
        return ERROR_INVALID_WINDOW_HANDLE;
    }
    Owner& record = owners_[&owner];
    auto known = record.windows.find(window);
    if (known == record.windows.end()) {
        if (record.windows.size() >= kMaxWindowsPerSession) {
            return ERROR_NO_SYSTEM_RESOURCES;
        }
        const uint64_t id = ++lastId_;
        entries_[id] = Entry{&owner, window, className, title, visible, thread, ++lastStamp_};
        record.windows[window] = id;
        return ERROR_SUCCESS;
    }
    Entry& entry = entries_[known->second];
    entry.className = className;
    entry.title = title;
    entry.visible = visible;
    return ERROR_SUCCESS;
}

void WindowDirectory::Withdraw(Session& owner, uint32_t window) {
    std::lock_guard<std::mutex> guard(lock_);
    auto record = owners_.find(&owner);
    if (record == owners_.end()) {
        return;
    }
    auto known = record->second.windows.find(window);
    if (known != record->second.windows.end()) {
        entries_.erase(known->second);
        record->second.windows.erase(known);
    }
}

uint64_t WindowDirectory::Find(const Session& asking, const WindowText& className, const WindowText& title) {
    std::lock_guard<std::mutex> guard(lock_);
    uint64_t found = 0;
    uint64_t latest = 0;
    for (const auto& [id, entry] : entries_) {
        if (entry.owner != &asking && entry.stamp > latest && Matches(className, entry.className) &&
            Matches(title, entry.title)) {
            found = id;
            latest = entry.stamp;
        }
    }
    return found;
}

WindowState WindowDirectory::Query(uint64_t id) {
    std::lock_guard<std::mutex> guard(lock_);
    auto entry = entries_.find(id);
    if (entry == entries_.end()) {
        return WindowState{};
    }
    return WindowState{true, entry->second.visible, entry->second.title,
                       static_cast<uint32_t>(entry->second.owner->pid()), entry->second.thread};
}

DWORD WindowDirectory::Forward(uint64_t id, Op op, std::optional<uint32_t> command, Entry** forwarded) {
    auto entry = entries_.find(id);
    if (entry == entries_.end()) {
        return ERROR_INVALID_WINDOW_HANDLE;
    }
    auto record = owners_.find(entry->second.owner);
    if (record == owners_.end() || record->second.listener < 0) {
        return ERROR_BUSY;
    }
    Writer request(op);
    request.U32(entry->second.window);
    if (command) {
        request.U32(*command);
    }
    const std::vector<uint8_t>& bytes = request.Finish();
    // One small record: it goes whole at once or not at all, and a full socket never holds the caller.
    if (send(record->second.listener, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL) !=
        static_cast<ssize_t>(bytes.size())) {
        return ERROR_BUSY;
    }
    *forwarded = &entry->second;
    return ERROR_SUCCESS;
}

DWORD WindowDirectory::Show(uint64_t id, uint32_t command, bool* wasVisible) {
    std::lock_guard<std::mutex> guard(lock_);
    Entry* entry = nullptr;
    const DWORD error = Forward(id, Op::WindowShow, command, &entry);
    if (error == ERROR_SUCCESS) {
        *wasVisible = entry->visible;
        // The owner publishes the outcome; until then the request's is the best guess.
        entry->visible = command != SW_HIDE;
    }
    return error;
}

DWORD WindowDirectory::Foreground(uint64_t id) {
    std::lock_guard<std::mutex> guard(lock_);
    Entry* entry = nullptr;
    const DWORD error = Forward(id, Op::WindowForeground, std::nullopt, &entry);
    if (error == ERROR_SUCCESS) {
        entry->stamp = ++lastStamp_;
    }
    return error;
}

bool WindowDirectory::Listen(Session& owner, int fd, const std::vector<uint8_t>& hello) {
    std::lock_guard<std::mutex> guard(lock_);
    if (owner.Ended()) {
        return false;
    }
    Owner& record = owners_[&owner];
    if (record.listener >= 0) {
        return false;
    }
    if (send(fd, hello.data(), hello.size(), MSG_DONTWAIT | MSG_NOSIGNAL) !=
        static_cast<ssize_t>(hello.size())) {
        return false;
    }
    record.listener = fd;
    return true;
}

void WindowDirectory::StopListening(Session& owner, int fd) {
    std::lock_guard<std::mutex> guard(lock_);
    auto record = owners_.find(&owner);
    if (record != owners_.end() && record->second.listener == fd) {
        record->second.listener = -1;
    }
}

void WindowDirectory::EndSession(Session& owner) {
    std::lock_guard<std::mutex> guard(lock_);
    auto record = owners_.find(&owner);
    if (record == owners_.end()) {
        return;
    }
    for (const auto& [window, id] : record->second.windows) {
        entries_.erase(id);
    }
    owners_.erase(record);
}

}  // namespace ce::host
