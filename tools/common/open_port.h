// A port of the device opened by its name, as an application opens one.
#pragma once

#include <string>

#include <windows.h>

// Opens name ("COM5:") for reading and writing, exclusively; INVALID_HANDLE_VALUE with GetLastError when it
// cannot be opened.
HANDLE OpenPortByName(const std::string& name);

// Why name could not be opened (code, from GetLastError), in words for a person: "COM5: is in use by
// another program", "COM2: is kept but not active: tulkcfg start", "COM9: no such port on the device", or
// the system's words for anything else.
std::string OpenFailureWords(const std::string& name, DWORD code);
