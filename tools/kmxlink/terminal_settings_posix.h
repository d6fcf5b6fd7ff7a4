// The pseudo-terminal's settings as the program on it made them, read and written through the master side
// with the kernel's termios2, which carries any speed as a number.
#pragma once

#include "link_session.h"

// Puts the terminal in raw mode (no echo, no line editing, no signals, no translation of bytes) with the
// given speed, stop bits and handshake, and EXTPROC, which makes every later change of settings a packet on
// the master side. False with errno.
bool SetUpTerminal(int master, const TerminalSettings& settings);

// The settings now in force. *extproc says whether EXTPROC is still set: a program that cleared it no longer
// announces its changes. False with errno.
bool ReadTerminal(int master, TerminalSettings* settings, bool* extproc);

// Sets EXTPROC again after a program cleared it, leaving all else as the program made it.
bool RestoreExtproc(int master);
