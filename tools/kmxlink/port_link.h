// The port and the pump that moves its bytes, opened and ended together: what both kinds of session stand
// on. The port is open exactly as long as the link lives.
#pragma once

#include <memory>
#include <string>

#include "bridge_port.h"
#include "link_session.h"
#include "port_pump.h"

class PortLink {
  public:
    // Opens the port and starts the pump; null with *error, one line for a person.
    static std::unique_ptr<PortLink> Open(const std::string& name, Wakeup& wakeup, std::string* error);
    // Ends the pump's reads and writes in progress and closes the port.
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    BridgePort& port() { return port_; }
    PortPump& pump() { return *pump_; }

    // The Linux side ended: what it sent goes to the port while the port keeps taking it.
    void Finish();
    // True, with *why, once the port failed.
    bool Failed(std::string* why);
    // Says, once per link, that the port refused bytes because nobody has its other end open.
    void NoteDropped();

  private:
    PortLink() = default;

    BridgePort port_;
    std::unique_ptr<PortPump> pump_;
    bool saidDropped_ = false;
};
