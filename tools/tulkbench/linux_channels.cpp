// The Linux channels beside the pair. This file, with the others that include POSIX headers
// (child_process, descriptor_end, process_end, socat_pty_pair), is the POSIX side of tulkbench.
#include "linux_channels.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "descriptor_end.h"
#include "socat_pty_pair.h"

namespace {

// Enough for "/dev/pts/<number>".
constexpr size_t kPtyPathBytes = 64;

// The two ends of a channel as descriptors, or why there are none.
struct Descriptors {
    int near = -1;
    int far = -1;
    std::string problem;
};

std::string Failed(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A terminal as a program takes it up for a serial line: every byte passed as it is (no echo, no line
// editing, no flow control characters), reads that return as soon as one byte is there.
bool MakeRaw(int terminal) {
    termios settings{};
    if (tcgetattr(terminal, &settings) != 0) {
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return tcsetattr(terminal, TCSANOW, &settings) == 0;
}

// Opens a terminal's device file and makes it raw; -1 with *problem set when it cannot.
int OpenRawTerminal(const std::string& path, std::string* problem) {
    const int terminal = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0 || !MakeRaw(terminal)) {
        *problem = Failed("cannot open " + path + " raw");
        if (terminal >= 0) {
            close(terminal);
        }
        return -1;
    }
    return terminal;
}

Descriptors Socketpair() {
    int ends[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return {-1, -1, Failed("socketpair")};
    }
    return {ends[0], ends[1], {}};
}

// The master stays with this program; the slave is the far end, as a program would open it by name.
Descriptors RawPty() {
    Descriptors pty;
    pty.near = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char slave[kPtyPathBytes];
    if (pty.near < 0 || grantpt(pty.near) != 0 || unlockpt(pty.near) != 0 ||
        ptsname_r(pty.near, slave, sizeof(slave)) != 0) {
        pty.problem = Failed("no PTY");
    } else {
        pty.far = OpenRawTerminal(slave, &pty.problem);
    }
    if (pty.far < 0 && pty.near >= 0) {
        close(pty.near);
    }
    return pty;
}

Descriptors SocatPtyEnds(const SocatPtys& socat) {
    Descriptors ends;
    ends.near = OpenRawTerminal(socat.paths[0], &ends.problem);
    if (ends.near >= 0) {
        ends.far = OpenRawTerminal(socat.paths[1], &ends.problem);
        if (ends.far < 0) {
            close(ends.near);
        }
    }
    return ends;
}

}  // namespace

MeasuredChannel OpenLinuxChannel(LinuxChannel kind, bool farInAnotherProgram) {
    MeasuredChannel channel;
    Descriptors ends;
    switch (kind) {
        case LinuxChannel::Socketpair:
            channel.heading = "socketpair";
            ends = Socketpair();
            break;
        case LinuxChannel::RawPty:
            channel.heading = "raw PTY";
            ends = RawPty();
            break;
        case LinuxChannel::SocatPty: {
            channel.heading = "socat PTY";
            SocatPtys socat = StartSocatPtys();
            if (!socat.problem.empty()) {
                channel.problem = socat.problem;
                return channel;
            }
            channel.carrier = std::move(socat.process);
            ends = SocatPtyEnds(socat);
            break;
        }
    }
    if (!ends.problem.empty()) {
        channel.problem = ends.problem;
        return channel;
    }
    channel.near = std::make_unique<DescriptorEnd>(ends.near);
    if (farInAnotherProgram) {
        channel.far = DescriptorFarEnd(ends.far);
        if (!channel.far) {
            channel.problem = "the far end's program did not start";
        }
    } else {
        channel.farHere = std::make_unique<DescriptorEnd>(ends.far);
        channel.far = ThreadFarEnd(channel.farHere.get());
    }
    return channel;
}
