// The pseudo-terminal's settings as the program on it made them, read and written through the master side
// with the kernel's termios2, which carries any speed as a number.
//
// Changes are announced by EXTPROC: with it set, every change of settings is a packet on the master side.
// But EXTPROC also turns the line discipline's input processing off (XON/XOFF that stop the program's
// output, line editing, echo, signals, CR and NL translation), so it is set only while the program has all
// of that off anyway, as serial programs do; a program that wants any of it gets it, and is watched.
#pragma once

#include "link_session.h"

// What the terminal's settings say, beyond what goes to the port.
struct TerminalState {
    TerminalSettings settings;
    bool processesInput = false;  // the line discipline has input processing to do (IXON, ICANON, ...)
    bool extproc = false;         // EXTPROC is set
};

// Puts the terminal in raw mode (no echo, no line editing, no signals, no translation of bytes) with the
// given speed, stop bits and handshake, and EXTPROC. False with errno.
bool SetUpTerminal(int master, const TerminalSettings& settings);

// The state now in force. False with errno.
bool ReadTerminal(int master, TerminalState* state);

// Sets or clears EXTPROC, leaving all else as the program made it.
bool SetExtproc(int master, bool on);
