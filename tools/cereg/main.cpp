// cereg: query, add, delete, export and import the device's registry, in the manner of its reg command.
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "confirm.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << UsageText();
        return kExitUsage;
    }
    Command command;
    std::string error;
    if (!ParseCommandLine(args, &command, &error)) {
        std::cerr << "cereg: " << error << " (cereg /? shows the usage)\n";
        return kExitUsage;
    }
    Console console{std::cout, std::cerr, std::cin, StandardInputIsTerminal()};
    const int status = RunCommand(command, console);
    std::cout.flush();
    return status;
}
