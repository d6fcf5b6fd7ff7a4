// Control-code tracing: when switched on, every I/O control a program sends a port is logged by name with
// its outcome, so a user can see what a program asked of a port. Switched on by the environment variable
// TULK_TRACE (any value but "0") or by a REG_DWORD "Trace" = 1 in the port's device key.
#pragma once

#include <windows.h>

// "IOCTL_SERIAL_SET_DCB" and so on; codes no one here knows give "unknown code" (never a plausible name).
const char* ControlCodeName(DWORD code);

bool TraceEnabledByEnvironment();

// Logs one control code of port `index` with its result and, on failure, the error code.
void TraceControlCode(DWORD index, DWORD code, BOOL result, DWORD error);
