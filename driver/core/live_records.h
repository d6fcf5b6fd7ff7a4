// The records the driver has handed out as handles. The device manager passes instance and open handles
// back as plain numbers; an entry point trusts a number only while it names a live record, and holds a
// reference on it for the length of the call, so a stale, repeated or garbage handle gives
// ERROR_INVALID_HANDLE instead of touching freed memory.
#pragma once

#include <windows.h>

struct PortState;
struct OpenContext;

// False when out of memory.
bool RegisterPortState(PortState* state);
bool RegisterOpenContext(OpenContext* context);
void UnregisterOpenContext(OpenContext* context);

// The record with a reference added (the caller releases it), or null when the handle names none.
PortState* ReferencePortState(DWORD_PTR handle);
OpenContext* ReferenceOpenContext(DWORD_PTR handle);
// Unregisters the instance and hands the caller the instance's own reference; of two threads that retire
// the same instance only one gets it.
PortState* TakePortState(DWORD_PTR handle);
