// tulkcfg's command line. Empty, the manager's window; exactly "start", the kept pairs are started again.
// Beside them, commands for scripts: list, add, delete, and --help. Anything else is bad usage.
#pragma once

#include <windows.h>

#include <string>

enum class CommandKind { Dialog, Start, List, Add, Delete, Help };

struct Command {
    CommandKind kind = CommandKind::Dialog;
    DWORD ports[2] = {0, 0};  // combined numbers: add's two names, delete's one
    int portCount = 0;
    bool force = false;  // delete: also ports that are open
};

// The command a command line asks for (the program's arguments joined by single blanks); false with
// *error saying what is wrong.
bool ParseCommandLine(LPCWSTR line, Command* command, std::string* error);

// What --help prints.
const char* UsageText();

// The combined number of a port name: COM0: .. COM9: are 0 .. 9, KMX0: .. KMX9: are 10 .. 19, in any case
// and with or without the colon. False for anything else.
bool ParsePortName(const std::u16string& name, DWORD* combinedNumber);
