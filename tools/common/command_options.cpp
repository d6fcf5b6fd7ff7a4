#include "command_options.h"

#include <algorithm>

namespace {

const CommandOption* Find(const std::vector<CommandOption>& options, const std::string& name) {
    for (const CommandOption& option : options) {
        if (std::find(option.names.begin(), option.names.end(), name) != option.names.end()) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

bool WalkCommandLine(const std::vector<std::string>& args, const std::vector<CommandOption>& options,
                     std::string* port, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        if (const size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
            hasValue = true;
        }
        if (const CommandOption* option = Find(options, arg); option != nullptr) {
            if (option->expects != nullptr && !hasValue) {
                if (i + 1 == args.size()) {
                    *error = arg + " needs a value: " + option->expects;
                    return false;
                }
                value = args[++i];
            }
            if (!option->take(value)) {
                *error = arg + " " + value + ": expected " +
                         (option->expects != nullptr ? option->expects : "no value");
                return false;
            }
        } else if (arg.starts_with("-")) {
            *error = "unknown option " + arg;
            return false;
        } else if (port->empty()) {
            *port = arg;
        } else {
            *error = "one port only (given " + *port + " and " + arg + ")";
            return false;
        }
    }
    return true;
}
