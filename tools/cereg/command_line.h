// cereg's command line: an operation, its key or files, and reg-style switches (/v, /ve, /va, /s, /t, /d,
// /f, /y; a '-' works like the '/', and case does not matter).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

enum class Operation { Help, Query, Add, Delete, Export, Import };

struct Command {
    Operation operation = Operation::Help;
    std::string key;                   // as typed
    std::optional<std::string> value;  // /v name, or "" for /ve (the default value)
    bool allValues = false;            // /va
    bool recurse = false;              // query /s
    bool force = false;                // /f, or /y for export
    std::optional<DWORD> type;         // add /t
    std::optional<std::string> data;   // add /d
    std::string separator = "\\0";     // add /s, between the strings of a REG_MULTI_SZ
    std::string file;                  // export, import
};

// False, with *error saying what is wrong, for a command line that makes no sense.
bool ParseCommandLine(const std::vector<std::string>& args, Command* command, std::string* error);

// The usage text of --help.
const char* UsageText();
