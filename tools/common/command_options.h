// A tool's command line: flags, options with a value ("--name value" or "--name=value") and one port.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct CommandOption {
    std::vector<std::string> names;  // "--help", "-h"
    // What the value may be, for messages ("5, 6, 7 or 8"); null for a flag, which takes no value.
    const char* expects;
    // Takes the value (empty for a flag); false when the value makes no sense.
    std::function<bool(const std::string& value)> take;
};

// Walks args in order. False, with *error, for an unknown option, a value missing or refused, or a second
// positional argument; the first one is the port.
bool WalkCommandLine(const std::vector<std::string>& args, const std::vector<CommandOption>& options,
                     std::string* port, std::string* error);
