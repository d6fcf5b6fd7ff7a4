// Windows across the programs of a shared device.
//
// A program joined to a device host publishes its top-level windows (class, title, visibility) in the
// host's window directory when they are created, renamed, shown or hidden, and withdraws them when they
// are destroyed; the host forgets them all when the program ends. FindWindowW looks among the program's
// own windows first and then asks the directory; another program's window becomes a proxy here, a handle
// of the window type that only IsWindow, IsWindowVisible, GetWindowTextW, ShowWindow and
// SetForegroundWindow accept (LookupWindow never answers it, so every other call treats it as an invalid
// window). ShowWindow and SetForegroundWindow on a proxy cross to the window's program, which applies them
// as its own calls. In-process programs do none of this.
#pragma once

#include <cstdint>
#include <optional>

#include "user/windows/window.h"

namespace ce::ui {

// Tells the directory what the window is now (a top-level window that is not being destroyed).
void ShareWindow(const WindowPtr& window);
// The window is being destroyed: it leaves the directory before its handle can be reused.
void UnshareWindow(const WindowPtr& window);
// Another program's request for one of this program's windows, arriving on the listener's thread.
void ApplyWindowRequest(uint32_t window, bool foreground, int command);
// Publishes all of the program's top-level windows again (in a new host); false when no host took them.
bool RepublishWindows();

// Another program's top-level window as a proxy of this program, or nullptr.
HWND FindForeignTopLevel(LPCWSTR className, LPCWSTR title);

// The public calls on a proxy: nothing when hwnd is no proxy, else the call's answer (its error set).
std::optional<BOOL> ForeignIsWindow(HWND hwnd);
std::optional<BOOL> ForeignIsWindowVisible(HWND hwnd);
std::optional<int> ForeignGetWindowText(HWND hwnd, LPWSTR text, int maxCount);
std::optional<DWORD> ForeignGetWindowThreadProcessId(HWND hwnd, LPDWORD processId);
std::optional<BOOL> ForeignShowWindow(HWND hwnd, int command);
std::optional<BOOL> ForeignSetForegroundWindow(HWND hwnd);

}  // namespace ce::ui
