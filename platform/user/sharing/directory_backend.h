// Where a program's top-level windows meet other programs' windows: the device's window directory, kept by
// the device host, or none for a program with a device of its own. The process uses one backend for its
// whole life, chosen at its first call that needs one.
//
// Every operation may block on the host for as long as it takes to answer; none takes a lock of the window
// system, so callers may hold their own locks (not the UI lock) across them.
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

namespace ce::ui {

// A foreign window: the directory's generation it was found in and the directory's id for it.
struct ForeignId {
    uint64_t session = 0;
    uint64_t id = 0;
};

struct ForeignState {
    bool alive = false;
    bool visible = false;
    std::u16string title;
    uint32_t process = 0;  // the program that owns the window
    uint32_t thread = 0;   // the owner's thread that made it
};

// Whether other programs see this program's windows at all; nothing is published when they do not.
using DirectorySharedFn = bool();
// Publishes a window of this program or updates what the directory knows of it. False when no directory
// took the call (its host is gone).
using DirectoryPublishFn = bool(uint32_t window, const std::u16string& className, const std::u16string& title,
                                bool visible, uint32_t thread);
// Takes the window out of the directory.
using DirectoryWithdrawFn = void(uint32_t window);
// The directory's generation: it changes when the directory starts afresh (its host restarted) and is 0
// before the first call.
using DirectorySessionFn = uint64_t();
// Another program's window matching className and title (either may be null); id 0 when none does.
using DirectoryFindFn = ForeignId(LPCWSTR className, LPCWSTR title);
// What the directory knows of the window now; not alive when it, its program or its host has gone.
using DirectoryQueryFn = ForeignState(const ForeignId& window);
// Hands ShowWindow or SetForegroundWindow to the window's program. ERROR_SUCCESS once the directory took
// it; ERROR_INVALID_WINDOW_HANDLE when the window is gone; ERROR_BUSY when its program cannot take it now.
using DirectoryShowFn = DWORD(const ForeignId& window, int command, bool* wasVisible);
using DirectoryForegroundFn = DWORD(const ForeignId& window);

struct DirectoryBackend {
    DirectorySharedFn* shared;
    DirectoryPublishFn* publish;
    DirectoryWithdrawFn* withdraw;
    DirectorySessionFn* session;
    DirectoryFindFn* find;
    DirectoryQueryFn* query;
    DirectoryShowFn* show;
    DirectoryForegroundFn* foreground;
};

// No directory: the process's windows are its own and it finds no others.
extern const DirectoryBackend kInProcessDirectory;

// The backend this process uses, chosen on first use.
const DirectoryBackend& Directory();

}  // namespace ce::ui
