// A port of the device opened by its name, as an application opens one.
#pragma once

#include <string>

#include <windows.h>

// Opens name ("COM5:") for reading and writing, exclusively; INVALID_HANDLE_VALUE with GetLastError when it
// cannot be opened.
HANDLE OpenPortByName(const std::string& name);
