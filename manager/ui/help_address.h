// The address of the user guide, which lives beside the program.
#pragma once

#include <windows.h>

// "file://" + the directory of modulePath (up to and including its last path separator) + "user_guide.htm",
// cut to urlChars - 1 characters. A path without a separator gives no directory.
void BuildHelpUrl(LPCWSTR modulePath, LPWSTR url, int urlChars);
