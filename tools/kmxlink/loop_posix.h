// What both of kmxlink's loops need from the system: the signals that stop them, a wake-up other threads can
// give, and moving bytes between a descriptor and a session.
#pragma once

#include <string>

#include "link_session.h"

// SIGINT, SIGTERM and SIGHUP, held back from every thread and read from a descriptor instead, so that the
// loop ends in order (the link at PATH removed, the port closed). Made before any thread starts, so that all
// of them inherit the mask. SIGPIPE is ignored: a vanished reader is an error on the write.
class StopSignals {
  public:
    StopSignals() = default;
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool Take(std::string* error);
    // Readable once a stop signal came.
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

// An eventfd that any thread may write to wake the loop.
class EventWakeup : public Wakeup {
  public:
    EventWakeup();
    ~EventWakeup() override;
    EventWakeup(const EventWakeup&) = delete;
    EventWakeup& operator=(const EventWakeup&) = delete;

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void Wake() override;
    // Reads the count away, so that the next poll waits again.
    void Clear();

  private:
    int fd_ = -1;
};

struct pollfd;

// Waits until a stop signal, a wake-up or one of fds (events set by the caller, revents filled in) asks for
// the loop's turn, or timeoutMs passed (-1: no end). False once a stop signal came; a wake-up is taken away.
bool WaitForTurn(StopSignals& stops, EventWakeup& wakeup, pollfd* fds, size_t count, int timeoutMs = -1);

enum class Transfer { Progress, Blocked, Ended };

// Reads what fits in the session's room from fd into the session (Ended at the end of input or on an error).
Transfer ReadInto(int fd, LinkSession& session);
// Writes what the session has for fd (Blocked when fd takes no more now, Ended on an error).
Transfer WriteFrom(int fd, LinkSession& session, bool socket);

// "strerror" of errno, for messages.
std::string ErrnoText(int error);
