// cereg's operations on the registry, through the Reg*W calls and the platform's .reg file controls.
#pragma once

#include <istream>
#include <ostream>

#include "command_line.h"

struct Console {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    bool interactive;  // a person can answer questions on in
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;  // a command line that makes no sense

// Runs one parsed command; failures are one line on console.err. Answers the exit status.
int RunCommand(const Command& command, Console& console);
