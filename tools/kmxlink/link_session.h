// What the loop on the Linux side (a network client, or programs on the pseudo-terminal) and the port's side
// of the bridge say to each other. Nothing here knows the platform, so the POSIX loops include it without
// <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Wakes the loop from any thread: the port's side has something for it (bytes, room, an event).
class Wakeup {
  public:
    virtual ~Wakeup() = default;
    virtual void Wake() = 0;
};

// One stretch of the port in use from the Linux side: a client's connection, or the time programs have the
// terminal open. The port is open for exactly as long as the session lives. Every call comes from the loop's
// thread.
class LinkSession {
  public:
    virtual ~LinkSession() = default;
    // How many bytes the loop may read from the Linux side now; 0 holds the Linux side (TCP, or the
    // terminal's own buffer) until a wake says there is room again.
    virtual size_t InputRoom() = 0;
    // Bytes from the Linux side, at most InputRoom().
    virtual void Input(std::string_view bytes) = 0;
    // Takes in what the port's side produced since the last call and answers what waits for the Linux side.
    virtual std::string_view Output() = 0;
    // The first count bytes of Output() went out.
    virtual void OutputSent(size_t count) = 0;
    // The Linux side has ended: what it sent goes on to the port, for as long as the port takes it promptly.
    virtual void Finish() = 0;
    // False while the port works; true, with *why, once it failed under the session.
    virtual bool PortFailed(std::string* why) = 0;
};

// The line settings a program on the pseudo-terminal makes that a Linux terminal keeps: speed, stop bits and
// hardware handshake. (A pseudo-terminal always reports 8 data bits without parity, whatever was asked.)
struct TerminalSettings {
    uint32_t baudRate = 0;
    bool twoStopBits = false;
    bool rtsCts = false;
    bool operator==(const TerminalSettings&) const = default;
};

// A session on the pseudo-terminal also hears what a program does to the terminal itself.
class TerminalSession : public LinkSession {
  public:
    // Makes the port's settings follow the terminal's; what the port refuses leaves it as it was, and is
    // said.
    virtual void Apply(const TerminalSettings& settings) = 0;
    // The program discarded what it had not read (received) or not yet sent (sent).
    virtual void Discard(bool received, bool sent) = 0;
};

// Open the port for a session; null with *error (one line for a person) when it cannot.
using OpenClientSession = std::function<std::unique_ptr<LinkSession>(Wakeup& wakeup, std::string* error)>;
using OpenTerminalSession =
    std::function<std::unique_ptr<TerminalSession>(Wakeup& wakeup, std::string* error)>;
