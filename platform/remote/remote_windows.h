// A program's side of the device's window directory: its own top-level windows published for the other
// programs, their windows found and asked for, and the listener that takes their requests for its own.
//
// Publishing is a short call on the publishing thread's connection; the host never waits for anyone while
// serving it. Before the first window of a session is published, the program opens a listener
// connection with a thread of its own, on which the host sends the requests of other programs
// (WindowShow, WindowForeground); the thread applies them with ApplyWindowRequest, so the program's UI
// threads never read from the host. When the host ends the listener (it died, or the device stopped),
// the thread waits for the next host, without starting one, and publishes the program's windows there.
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

namespace ce::host {

// Publishes a window of this program or updates what the directory knows of it. A class name or title
// longer than kMaxWindowTextChars is published as null (found only by lookups that leave it out).
// Answers how the call went (kHostGoneError: no host took it).
DWORD PublishWindow(uint32_t window, const std::u16string& className, const std::u16string& title,
                    bool visible, uint32_t thread);
// Takes the window out of the directory; nothing happens without a session.
void WithdrawWindow(uint32_t window);

// A foreign window: the session it was found in and the host's id for it.
struct ForeignId {
    uint64_t session = 0;
    uint64_t id = 0;
};

// Another program's window matching className and title (either may be null); id 0 when none does or
// the host cannot be reached.
ForeignId FindForeignWindow(LPCWSTR className, LPCWSTR title);

struct ForeignState {
    bool alive = false;
    bool visible = false;
    std::u16string title;
    uint32_t process = 0;  // the program that owns the window
    uint32_t thread = 0;   // the owner's thread that made it
};
// What the directory knows of the window now; not alive when it, its program or its host has gone.
ForeignState QueryForeignWindow(const ForeignId& window);
// Hands ShowWindow or SetForegroundWindow to the window's program. ERROR_SUCCESS once the host took it;
// ERROR_INVALID_WINDOW_HANDLE when the window is gone; ERROR_BUSY when its program cannot take it now.
DWORD ShowForeignWindow(const ForeignId& window, int command, bool* wasVisible);
DWORD ForegroundForeignWindow(const ForeignId& window);

}  // namespace ce::host
