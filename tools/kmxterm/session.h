// kmxterm on a terminal: keys to the port, the port's bytes to the screen above a status line, and the
// commands behind Ctrl+A.
#pragma once

#include <string>

#include "byte_view.h"
#include "port_settings.h"
#include "serial_port.h"
#include "terminal.h"

struct SessionOptions {
    PortSettings settings;
    ViewMode view = ViewMode::Text;
    bool echo = false;         // show typed bytes as well
    std::string enter = "\r";  // what the Enter key sends
};

// Runs until the person quits (true) or the port fails (false, *error saying how). The screen is left as
// it was found, the status line cleared.
bool RunSession(SerialPort& port, Terminal& terminal, const SessionOptions& options, std::string* error);

// The lines Ctrl+A h shows, also part of --help.
const char* KeyHelpText();
