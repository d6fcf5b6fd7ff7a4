// Opening and closing handles on a port instance.
#pragma once

#include <windows.h>

#include "core/port_state.h"

// COM_Open's work: a new handle, or null with the reason set.
OpenContext* OpenPort(DWORD_PTR device, DWORD access, DWORD share);
// COM_Close's work on a handle value.
BOOL ClosePort(DWORD_PTR open);
// Closes every handle still open on a retiring instance, newest first. Caller holds no lock.
void CloseAllHandles(PortState* state);
