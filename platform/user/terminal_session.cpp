// Opening and giving back the terminal.
#include "user/terminal_session.h"

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
constexpr int kHandledSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGINT, SIGTERM};
constexpr size_t kRestoreBytes = 512;

// Written before the handlers are installed, read only afterwards.
termios savedTermios;
char restoreSequence[kRestoreBytes];
size_t restoreLength = 0;
struct sigaction previousActions[NSIG];

std::atomic<bool> restored{false};
bool closed = false;  // guarded by TerminalLock()

void AppendRestore(const char* bytes) {
    if (bytes == nullptr || bytes == reinterpret_cast<const char*>(-1)) {
        return;
    }
    const size_t length = std::strlen(bytes);
    if (restoreLength + length < kRestoreBytes) {
        std::memcpy(restoreSequence + restoreLength, bytes, length);
        restoreLength += length;
    }
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
}

void ResumeTerminalSession() {
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
    if (newterm(nullptr, stdout, stdin) == nullptr) {
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
    std::fputs(kMouseOn, stdout);
    std::fflush(stdout);
    std::atexit(CloseAtExit);
    return true;
}

}  // namespace ce::ui
