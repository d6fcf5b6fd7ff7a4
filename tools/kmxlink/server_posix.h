// The network side of kmxlink: a TCP listener for RFC 2217 clients, one client at a time on the port.
#pragma once

#include <cstdint>
#include <string>

#include "link_session.h"
#include "loop_posix.h"

struct ServerPlan {
    std::string portName;  // "COM5:", for messages
    std::string address;   // where to listen: a name or a numeric address
    uint16_t tcpPort = 0;  // 0: a free one, named in the ready line
    OpenClientSession open;
};

// Serves until a stop signal. False, with *error, when it cannot listen (the address is taken, unknown, ...).
bool RunServer(const ServerPlan& plan, StopSignals& stops, std::string* error);
