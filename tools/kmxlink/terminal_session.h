// The port while programs have the pseudo-terminal open: bytes both ways, and the terminal's settings and
// discards carried over to the port.
#pragma once

#include <memory>
#include <string>

#include "link_session.h"

// Opens name for a session on the terminal; null with *error.
std::unique_ptr<TerminalSession> OpenPortForTerminal(const std::string& name, Wakeup& wakeup,
                                                     std::string* error);
