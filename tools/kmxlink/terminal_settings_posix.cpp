// Only the kernel's own termios header is included: it defines termios2, which glibc's <termios.h> does
// not, and the two cannot be included together.
#include "terminal_settings_posix.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

// The speeds that have a Bnnn code are set with it, so that programs reading the speed with cfgetospeed
// find a value they know; any other with BOTHER.
struct SpeedCode {
    uint32_t baud;
    tcflag_t code;
};

constexpr SpeedCode kSpeedCodes[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

// The settings under which the line discipline works on what the program reads: EXTPROC would skip that.
constexpr tcflag_t kInputProcessingIflags = IXON | ICRNL | INLCR | IGNCR | PARMRK;
constexpr tcflag_t kInputProcessingLflags = ICANON | ECHO | ECHONL | ISIG | IEXTEN;

void SetSpeed(termios2* t, uint32_t baud) {
    tcflag_t code = BOTHER;
    for (const SpeedCode& speed : kSpeedCodes) {
        if (speed.baud == baud) {
            code = speed.code;
        }
    }
    t->c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t->c_cflag |= code | (code << IBSHIFT);
    t->c_ispeed = baud;
    t->c_ospeed = baud;
}

}  // namespace

bool SetUpTerminal(int master, const TerminalSettings& settings) {
    termios2 t{};
    if (ioctl(master, TCGETS2, &t) != 0) {
        return false;
    }
    t.c_iflag = 0;
    t.c_oflag = 0;
    t.c_lflag = EXTPROC;
    t.c_cflag = CS8 | CREAD | CLOCAL | (settings.twoStopBits ? CSTOPB : 0) | (settings.rtsCts ? CRTSCTS : 0);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    SetSpeed(&t, settings.baudRate);
    return ioctl(master, TCSETS2, &t) == 0;
}

bool ReadTerminal(int master, TerminalState* state) {
    termios2 t{};
    if (ioctl(master, TCGETS2, &t) != 0) {
        return false;
    }
    state->settings.baudRate = t.c_ospeed;
    state->settings.twoStopBits = (t.c_cflag & CSTOPB) != 0;
    state->settings.rtsCts = (t.c_cflag & CRTSCTS) != 0;
    state->processesInput =
        (t.c_iflag & kInputProcessingIflags) != 0 || (t.c_lflag & kInputProcessingLflags) != 0;
    state->extproc = (t.c_lflag & EXTPROC) != 0;
    return true;
}

bool SetExtproc(int master, bool on) {
    termios2 t{};
    if (ioctl(master, TCGETS2, &t) != 0) {
        return false;
    }
    t.c_lflag = on ? (t.c_lflag | EXTPROC) : (t.c_lflag & ~EXTPROC);
    return ioctl(master, TCSETS2, &t) == 0;
}
