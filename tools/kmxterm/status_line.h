// The status line at the bottom of the screen: the port, its settings, the lines, the last events, and a
// message or the hint for help.
#pragma once

#include <string>

#include <windows.h>

struct StatusFacts {
    std::string port;      // "COM5:"
    std::string settings;  // "115200 8N1 none"
    DWORD modem = 0;       // MS_* bits
    bool dtr = false;
    bool rts = false;
    std::string events;   // "CTS DSR"
    std::string message;  // empty: the help hint
};

// One line of exactly columns characters (cut or padded), e.g.
// "COM5: 115200 8N1 none | DSR+ DCD+ CTS+ RING- | DTR+ RTS+ | ev: CTS DSR | Ctrl+A h: help".
// A message that does not fit after the facts goes first, and one wider than the line keeps its end
// behind a '<', so a prompt shows what is being typed.
std::string FormatStatus(const StatusFacts& facts, int columns);
