// What a person calls a process of the machine: its program's name.
#pragma once

#include <string>

#include <windows.h>

// "kmxterm" for a process running kmxterm; empty when the process is gone or cannot be looked at.
std::string ProcessName(DWORD processId);
