// What tulkcfg's commands for scripts do, on the program's port list, through the same store as the
// dialogs. Each answers the exit status: 0 done, 1 refused (one line on err says why).
#pragma once

#include <ostream>

#include "command_line.h"
#include "store/port_list.h"

inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

// One line per port: the virtual ports by slot, then the physical ones.
int ListPorts(PortList& ports, std::ostream& out);
// A pair under the command's two names, or the first two free ones; prints the two names.
int AddPair(PortList& ports, const Command& command, std::ostream& out, std::ostream& err);
// The pair of the command's port, with both ends.
int DeletePair(PortList& ports, const Command& command, std::ostream& out, std::ostream& err);
// Starts the kept pairs; one line for each kept port.
int StartKeptPorts(std::ostream& out, std::ostream& err);

// The system's words for an error code, without the line end.
std::string ErrorWords(DWORD error);
