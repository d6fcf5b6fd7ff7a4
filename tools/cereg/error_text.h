// The system's message text for a Win32 error code, as a person reads it in a tool's error line.
#pragma once

#include <string>

#include <windows.h>

// The system's message (FormatMessageW) without its line end: "The system cannot find the file specified."
// for ERROR_FILE_NOT_FOUND; a code without a message gives "Error <n>.".
std::string Win32ErrorText(DWORD code);
