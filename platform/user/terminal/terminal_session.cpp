// Opening and giving back the terminal.
#include "user/terminal/terminal_session.h"

#include <atomic>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <langinfo.h>
#include <termios.h>
#include <unistd.h>

#include <curses.h>
#include <term.h>

namespace ce::ui {
namespace {

constexpr int kEscapeDelayMs = 25;  // a lone Esc is a key after this long; sequences arrive faster
constexpr auto kExitLockWait = std::chrono::milliseconds(200);
// xterm's mouse reporting of presses and releases, in SGR form (no limit on the column).
constexpr char kMouseOn[] = "\x1b[?1000h\x1b[?1006h";
constexpr char kMouseOff[] = "\x1b[?1006l\x1b[?1000l";
// xterm's alternate screen, for terminals whose description has none (vt100, linux): emulators keep the
// shell's screen meanwhile; a terminal that knows no such mode is at least left cleared, not overprinted.
constexpr char kAlternateScreenOn[] = "\x1b[?1049h";
constexpr char kAlternateScreenOff[] = "\x1b[H\x1b[2J\x1b[?1049l";
constexpr int kHandledSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGINT, SIGTERM};
constexpr size_t kRestoreBytes = 512;

// Written before the handlers are installed, read only afterwards.
termios savedTermios;
char restoreSequence[kRestoreBytes];
size_t restoreLength = 0;
struct sigaction previousActions[NSIG];

std::atomic<bool> restored{false};
bool closed = false;              // guarded by TerminalLock()
bool ownAlternateScreen = false;  // const after the session opened

bool Capability(const char* bytes) {
    return bytes != nullptr && bytes != reinterpret_cast<const char*>(-1);
}

// Padding ("$<2>") is for the terminal library to turn into delays; written as it stands it would show.
void AppendRestore(const char* bytes) {
    if (!Capability(bytes)) {
        return;
    }
    for (const char* c = bytes; *c != 0 && restoreLength + 1 < kRestoreBytes; ++c) {
        if (c[0] == '$' && c[1] == '<' && std::strchr(c, '>') != nullptr) {
            c = std::strchr(c, '>');
            continue;
        }
        restoreSequence[restoreLength++] = *c;
    }
}

// Whether the terminal's description has no alternate screen of its own. Asked before ncurses starts,
// because ncurses sets the scrolling region at once, which moves the cursor the alternate screen must save.
bool LacksAlternateScreen() {
    int error = 0;
    if (setupterm(nullptr, STDOUT_FILENO, &error) != OK) {
        return false;
    }
    const bool lacks = !Capability(tigetstr("smcup"));
    del_curterm(cur_term);
    return lacks;
}

// Caller holds TerminalLock(); after endwin.
void LeaveScreen() {
    if (ownAlternateScreen) {
        std::fputs(kAlternateScreenOff, stdout);
    }
    std::fflush(stdout);
}

void RestoreFromSignal(int signal) {
    if (!restored.exchange(true)) {
        [[maybe_unused]] ssize_t written = write(STDOUT_FILENO, restoreSequence, restoreLength);
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTermios);
    }
    sigaction(signal, &previousActions[signal], nullptr);
    raise(signal);
}

void CloseAtExit() {
    std::unique_lock<std::mutex> lock(TerminalLock(), std::defer_lock);
    const auto deadline = std::chrono::steady_clock::now() + kExitLockWait;
    while (!lock.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            break;  // a thread hangs inside ncurses; give the terminal back all the same
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (closed || restored.exchange(true)) {
        return;
    }
    closed = true;
    std::fputs(kMouseOff, stdout);
    std::fflush(stdout);
    endwin();
    LeaveScreen();
}

// ncursesw draws UTF-8 only when the character type locale says so; the program's other categories
// (numbers, messages) stay as they are.
void ChooseUtf8Locale() {
    if (std::setlocale(LC_CTYPE, "") != nullptr && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) {
        return;
    }
    std::setlocale(LC_CTYPE, "C.UTF-8");
}

}  // namespace

void SuspendTerminalSession() {
    std::fputs(kMouseOff, stdout);
    std::fflush(stdout);
    endwin();
    LeaveScreen();
}

void ResumeTerminalSession() {
    std::fputs(ownAlternateScreen ? kAlternateScreenOn : "", stdout);
    std::fputs(kMouseOn, stdout);
    std::fflush(stdout);
    // The next refresh leaves nothing of what the other program drew.
    clearok(curscr, TRUE);
    refresh();
}

std::mutex& TerminalLock() {
    static std::mutex* lock = new std::mutex;  // leaked: used at exit
    return *lock;
}

bool TerminalSessionClosed() {
    return closed;
}

bool OpenTerminalSession() {
    std::lock_guard<std::mutex> guard(TerminalLock());
    if (tcgetattr(STDIN_FILENO, &savedTermios) != 0) {
        return false;
    }
    // Ours before ncurses starts: it puts its own SIGINT and SIGTERM handlers (which exit with status 1)
    // only where it finds the default, and the signal must reach the program's own disposition.
    struct sigaction action {};
    action.sa_handler = RestoreFromSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int signal : kHandledSignals) {
        sigaction(signal, &action, &previousActions[signal]);
    }
    ChooseUtf8Locale();
    set_escdelay(kEscapeDelayMs);
    ownAlternateScreen = LacksAlternateScreen();
    if (ownAlternateScreen) {
        std::fputs(kAlternateScreenOn, stdout);
        std::fflush(stdout);
    }
    if (newterm(nullptr, stdout, stdin) == nullptr) {
        if (ownAlternateScreen) {
            std::fputs(kAlternateScreenOff, stdout);
            std::fflush(stdout);
        }
        for (int signal : kHandledSignals) {
            sigaction(signal, &previousActions[signal], nullptr);
        }
        return false;
    }
    cbreak();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    curs_set(0);
    if (has_colors()) {
        start_color();
        use_default_colors();
    }
    AppendRestore(kMouseOff);
    AppendRestore(tigetstr("sgr0"));
    AppendRestore(tigetstr("cnorm"));
    AppendRestore(tigetstr("rmkx"));
    AppendRestore(tigetstr("rmcup"));
    if (ownAlternateScreen) {
        AppendRestore(kAlternateScreenOff);
    }
    std::fputs(kMouseOn, stdout);
    std::fflush(stdout);
    std::atexit(CloseAtExit);
    return true;
}

}  // namespace ce::ui
