#include "console_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kDefaultRows = 24;
constexpr int kDefaultColumns = 80;
constexpr size_t kKeyChunk = 256;
// Leaves a scroll region and inverse video behind neither on the way out nor in a crash.
constexpr char kResetScreen[] = "\x1b[r\x1b[0m\r\n";
constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV,
                                     SIGBUS, SIGFPE,  SIGILL, SIGABRT};

// Set before the handlers are installed, read only by them afterwards.
termios gSavedMode;
volatile sig_atomic_t gRawActive = 0;

void RestoreMode() {
    if (gRawActive != 0) {
        gRawActive = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &gSavedMode);
        [[maybe_unused]] const ssize_t ignored = write(STDOUT_FILENO, kResetScreen, sizeof(kResetScreen) - 1);
    }
}

// Async-signal-safe: tcsetattr and write only, then the signal's own action.
void RestoreAndRaise(int signalNumber) {
    RestoreMode();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// 1: readable (or hung up), 0: timeout, -1: error.
int WaitReadable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    const int ready = poll(&entry, 1, timeoutMs);
    if (ready < 0) {
        return errno == EINTR ? 0 : -1;
    }
    return ready;
}

winsize WindowSize() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) {
        size = winsize{};
    }
    return size;
}

}  // namespace

bool StandardStreamsAreTerminals() {
    return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1;
}

RawTerminal::~RawTerminal() {
    RestoreMode();
    for (const int signalNumber : kRestoringSignals) {
        signal(signalNumber, SIG_DFL);
    }
}

bool RawTerminal::Enter(std::string* error) {
    if (tcgetattr(STDIN_FILENO, &gSavedMode) != 0) {
        *error = std::string("cannot read the terminal's mode: ") + std::strerror(errno);
        return false;
    }
    termios raw = gSavedMode;
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    struct sigaction action {};
    action.sa_handler = RestoreAndRaise;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kRestoringSignals) {
        sigaction(signalNumber, &action, nullptr);
    }
    gRawActive = 1;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        gRawActive = 0;
        *error = std::string("cannot put the terminal in raw mode: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool RawTerminal::ReadKeys(std::string* keys, int timeoutMs) {
    const int ready = WaitReadable(STDIN_FILENO, timeoutMs);
    if (ready <= 0) {
        return ready == 0;
    }
    char buffer[kKeyChunk];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof(buffer));
    if (got < 0) {
        return errno == EINTR || errno == EAGAIN;
    }
    keys->append(buffer, static_cast<size_t>(got));
    return got > 0;
}

void RawTerminal::Write(std::string_view text) {
    WriteAll(STDOUT_FILENO, text.data(), text.size());
}

int RawTerminal::Rows() {
    const winsize size = WindowSize();
    return size.ws_row > 0 ? size.ws_row : kDefaultRows;
}

int RawTerminal::Columns() {
    const winsize size = WindowSize();
    return size.ws_col > 0 ? size.ws_col : kDefaultColumns;
}

ReadStatus StandardInput::Read(void* buffer, size_t size, int timeoutMs, size_t* got, std::string* error) {
    *got = 0;
    const int ready = WaitReadable(STDIN_FILENO, timeoutMs);
    if (ready == 0) {
        return ReadStatus::Timeout;
    }
    const ssize_t count = ready < 0 ? -1 : read(STDIN_FILENO, buffer, size);
    if (count < 0) {
        if (errno == EINTR || errno == EAGAIN) {
            return ReadStatus::Timeout;
        }
        *error = std::strerror(errno);
        return ReadStatus::Failed;
    }
    if (count == 0) {
        return ReadStatus::End;
    }
    *got = static_cast<size_t>(count);
    return ReadStatus::Data;
}

StandardOutput::StandardOutput() {
    signal(SIGPIPE, SIG_IGN);
}

bool StandardOutput::Write(const void* data, size_t size, std::string* error) {
    if (!WriteAll(STDOUT_FILENO, static_cast<const char*>(data), size)) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}
