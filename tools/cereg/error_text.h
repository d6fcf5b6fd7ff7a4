// The system's message text for a Win32 error code, as a person reads it in a tool's error line.
#pragma once

#include <string>

#include <windows.h>

// "The system cannot find the file specified." for ERROR_FILE_NOT_FOUND; a code without a known text
// gives "Error <n>.".
std::string Win32ErrorText(DWORD code);
