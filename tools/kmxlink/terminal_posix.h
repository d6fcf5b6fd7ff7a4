// The pseudo-terminal side of kmxlink: a pseudo-terminal whose name is linked at PATH, and a loop that opens
// the port while programs have the terminal open and carries bytes, settings and discards between them.
#pragma once

#include <string>

#include "link_session.h"
#include "loop_posix.h"

struct TerminalPlan {
    std::string portName;  // "COM5:", for messages
    std::string path;      // where the terminal's name is linked
    TerminalSettings initial;
    OpenTerminalSession open;
};

// Serves until a stop signal, then removes the link. False, with *error, when the terminal cannot be made or
// linked; nothing is left behind then.
bool RunTerminal(const TerminalPlan& plan, StopSignals& stops, std::string* error);
