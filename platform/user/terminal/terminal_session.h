// The process's terminal while the terminal front-end shows the screen: ncursesw opened on standard input
// and output with the mouse reporting, and given back as it was found at exit, on SIGINT and SIGTERM, and on
// a crash signal (SIGSEGV, SIGABRT, SIGBUS, SIGFPE), whose handler restores the terminal with
// async-signal-safe calls only and then hands the signal on to whoever had it before.
#pragma once

#include <mutex>

namespace ce::ui {

// False when the terminal cannot be opened (the caller then runs headless).
bool OpenTerminalSession();
// Held around every ncurses call.
std::mutex& TerminalLock();
// True once the terminal was given back; caller holds TerminalLock().
bool TerminalSessionClosed();
// Gives the terminal back as it was found for a while (the mouse reporting off, the screen and modes the
// shell had), and takes it again; caller holds TerminalLock() and the session is open.
void SuspendTerminalSession();
void ResumeTerminalSession();

}  // namespace ce::ui
