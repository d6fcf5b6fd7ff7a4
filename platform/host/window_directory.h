// The device's top-level windows, as the programs that own them publish them, so that one program finds
// another's windows and its ShowWindow and SetForegroundWindow reach them.
//
// A window is known to its owner by its own handle value and to everybody else by an id the directory
// gives it, never reused while the host runs. Requests for a window go to its owner over the owner's
// listener connection, sent without waiting: a request its owner cannot take at once is refused, so no
// caller ever waits for another program.
//
// Lock order: the directory's lock is taken after nothing else; a session's lock may be taken under it.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "host/session.h"

namespace ce::host {

using namespace wire;

using WindowText = std::optional<std::u16string>;

struct WindowState {
    bool alive = false;
    bool visible = false;
    WindowText title;
    uint32_t process = 0;  // the owner's process id
    uint32_t thread = 0;   // the thread that made the window, as its owner numbers threads
};

class WindowDirectory {
  public:
    static WindowDirectory& Instance();

    // Adds the session's window or updates it. ERROR_NO_SYSTEM_RESOURCES when the session has
    // kMaxWindowsPerSession windows already; ERROR_INVALID_WINDOW_HANDLE for window 0 or an ended session.
    DWORD Publish(Session& owner, uint32_t window, const WindowText& className, const WindowText& title,
                  bool visible, uint32_t thread);
    void Withdraw(Session& owner, uint32_t window);
    // The matching window of another session that came forward last (published or brought to the
    // foreground); 0 when none matches. A null class or title matches any; classes compare without case,
    // titles as the window system compares them.
    uint64_t Find(const Session& asking, const WindowText& className, const WindowText& title);
    WindowState Query(uint64_t id);
    // Hands a request to the window's owner. ERROR_INVALID_WINDOW_HANDLE when the window is gone;
    // ERROR_BUSY when its owner does not listen or cannot take the request now.
    DWORD Show(uint64_t id, uint32_t command, bool* wasVisible);
    DWORD Foreground(uint64_t id);

    // The session's listener connection: false when the session has one already or has ended. The hello
    // reply is sent under the directory's lock, so that no request overtakes it.
    bool Listen(Session& owner, int fd, const std::vector<uint8_t>& hello);
    void StopListening(Session& owner, int fd);
    // Every window of an ended session goes.
    void EndSession(Session& owner);

  private:
    struct Entry {
        const Session* owner = nullptr;
        uint32_t window = 0;
        WindowText className;
        WindowText title;
        bool visible = false;
        uint32_t thread = 0;
        uint64_t stamp = 0;  // order of coming forward
    };
    struct Owner {
        int listener = -1;
        std::map<uint32_t, uint64_t> windows;  // window -> id
    };

    // Sends op (with the command, if any) for window id to its owner; on success *forwarded is its entry.
    // Caller holds lock_.
    DWORD Forward(uint64_t id, Op op, std::optional<uint32_t> command, Entry** forwarded);

    std::mutex lock_;
    uint64_t lastId_ = 0;                     // lock_
    uint64_t lastStamp_ = 0;                  // lock_
    std::map<uint64_t, Entry> entries_;       // lock_
    std::map<const Session*, Owner> owners_;  // lock_; an owner leaves at EndSession
};

}  // namespace ce::host
