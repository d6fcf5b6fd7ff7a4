#include "terminal_posix.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "link_path_posix.h"
#include "say.h"
#include "terminal_settings_posix.h"

namespace {

constexpr size_t kReadChunk = 16 * 1024;
constexpr size_t kNotifyBuffer = 4096;
constexpr unsigned kWatchedUses = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;
constexpr bool kIgnoreDiscards = false;
// While the program has the line discipline process its input, EXTPROC stays off and the settings are
// read this often instead.
constexpr int kWatchMs = 10;

// A descriptor closed with its owner.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// The master side of a new pseudo-terminal, in packet mode and raw, and the name of its terminal; -1 with
// *error when it cannot be made.
int MakeTerminal(const TerminalSettings& initial, std::string* name, std::string* error) {
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char slave[PATH_MAX] = {};
    const int packetMode = 1;
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, slave, sizeof(slave)) != 0 ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0 || ioctl(fd, TIOCPKT, &packetMode) != 0 ||
        !SetUpTerminal(fd, initial)) {
        *error = "cannot make a pseudo-terminal: " + ErrnoText(errno);
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    *name = slave;
    return fd;
}

// Whether the last program has closed the terminal; only meaningful after a program opened it once.
bool HungUp(int master) {
    pollfd probe{master, 0, 0};
    return poll(&probe, 1, 0) == 1 && (probe.revents & POLLHUP) != 0;
}

class TerminalLoop {
  public:
    TerminalLoop(const TerminalPlan& plan, int master, int notify, EventWakeup& wakeup)
        : plan_(plan), master_(master), notify_(notify), wakeup_(wakeup) {}

    ~TerminalLoop() { End("kmxlink ends"); }

    void Run(StopSignals& stops) {
        for (;;) {
            pollfd fds[] = {{notify_, POLLIN, 0}, {session_ ? master_ : -1, MasterEvents(), 0}};
            const int timeoutMs = session_ && !state_.extproc ? kWatchMs : -1;
            if (!WaitForTurn(stops, wakeup_, fds, std::size(fds), timeoutMs)) {
                return;
            }
            if (session_ && !state_.extproc) {
                ApplySettings();  // the watch: the program's changes come without packets now
            }
            if (fds[0].revents != 0) {
                TakeUses();
            }
            if (session_ && fds[1].revents != 0) {
                ReadMaster();
            }
            if (session_) {
                WriteMaster();
            }
            std::string why;
            if (session_ && session_->PortFailed(&why)) {
                Say(why);
                End(plan_.path + " stays unconnected until it is opened again");
            }
        }
    }

  private:
    short MasterEvents() {
        if (!session_) {
            return 0;
        }
        return static_cast<short>((session_->InputRoom() != 0 ? POLLIN : 0) |
                                  (!session_->Output().empty() ? POLLOUT : 0));
    }

    // Programs opening and closing the terminal, as the kernel tells of them.
    void TakeUses() {
        alignas(inotify_event) char buffer[kNotifyBuffer];
        for (;;) {
            const ssize_t got = read(notify_, buffer, sizeof(buffer));
            if (got <= 0) {
                break;
            }
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((event->mask & IN_OPEN) != 0 && !session_ && !HungUp(master_)) {
                    Start();
                } else if ((event->mask & IN_OPEN) != 0) {
                    Say("a program opened " + plan_.path);
                } else if ((event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) != 0) {
                    Say("a program closed " + plan_.path);
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    void Start() {
        std::string error;
        session_ = plan_.open(wakeup_, &error);
        if (!session_) {
            Say("a program opened " + plan_.path + ", but " + error +
                ": the terminal stays unconnected until "
                "it is opened again");
            return;
        }
        ApplySettings();
        // What the programs did before the port was open: their settings count, their discards have
        // nothing to discard (and would take what arrives from now on), their bytes go to the port.
        ReadMaster(kIgnoreDiscards);
        if (session_) {
            Say("a program opened " + plan_.path + ": " + plan_.portName + " open");  // with its settings
        }
    }

    void End(const std::string& why) {
        if (!session_) {
            return;
        }
        session_->Finish();
        session_.reset();
        applied_ = false;
        Say(plan_.portName + " closed: " + why);
    }

    // Carries the terminal's settings to the port when they changed, and keeps EXTPROC set exactly while it
    // changes nothing for the program.
    void ApplySettings() {
        TerminalState state;
        if (!ReadTerminal(master_, &state)) {
            return;
        }
        if (state.processesInput == state.extproc) {
            SetExtproc(master_, !state.processesInput);
            state.extproc = !state.processesInput;
        }
        if (!applied_ || !(state.settings == state_.settings)) {
            session_->Apply(state.settings);
        }
        state_ = state;
        applied_ = true;
    }

    void Status(unsigned char status, bool discards) {
        if ((status & TIOCPKT_IOCTL) != 0) {
            ApplySettings();
        }
        if (discards && (status & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE)) != 0) {
            session_->Discard((status & TIOCPKT_FLUSHREAD) != 0, (status & TIOCPKT_FLUSHWRITE) != 0);
        }
    }

    // Packets from the master: a status byte alone, or TIOCPKT_DATA and what the program wrote.
    void ReadMaster(bool discards = true) {
        char buffer[kReadChunk + 1];
        while (session_) {
            const size_t room = std::min(session_->InputRoom(), kReadChunk);
            if (room == 0) {
                return;
            }
            const ssize_t got = read(master_, buffer, room + 1);
            if (got < 0 && errno == EAGAIN) {
                return;
            }
            if (got <= 0) {
                End("no program has " + plan_.path + " open");  // EIO: the last one closed it
                return;
            }
            if (buffer[0] == TIOCPKT_DATA) {
                session_->Input(std::string_view(buffer + 1, static_cast<size_t>(got) - 1));
            } else {
                Status(static_cast<unsigned char>(buffer[0]), discards);
            }
        }
    }

    void WriteMaster() {
        for (;;) {
            const Transfer transfer = WriteFrom(master_, *session_, false);
            if (transfer == Transfer::Ended) {
                End("no program has " + plan_.path + " open");
            }
            if (transfer != Transfer::Progress) {
                return;
            }
        }
    }

    const TerminalPlan& plan_;
    const int master_;
    const int notify_;
    EventWakeup& wakeup_;
    std::unique_ptr<TerminalSession> session_;
    TerminalState state_;   // as last read
    bool applied_ = false;  // state_.settings went to the session's port
};

}  // namespace

bool RunTerminal(const TerminalPlan& plan, StopSignals& stops, std::string* error) {
    EventWakeup wakeup;
    if (!wakeup.ok()) {
        *error = "cannot make an event descriptor: " + ErrnoText(errno);
        return false;
    }
    std::string name;
    Descriptor master(MakeTerminal(plan.initial, &name, error));
    if (master.get() < 0) {
        return false;
    }
    Descriptor notify(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (notify.get() < 0 || inotify_add_watch(notify.get(), name.c_str(), kWatchedUses) < 0) {
        *error = "cannot watch " + name + ": " + ErrnoText(errno);
        return false;
    }
    if (!PlaceLink(plan.path, name, error)) {
        return false;
    }
    Say(plan.portName + " on " + name + ", linked at " + plan.path);
    {
        TerminalLoop loop(plan, master.get(), notify.get(), wakeup);
        loop.Run(stops);
    }
    RemoveLink(plan.path, name);
    return true;
}
