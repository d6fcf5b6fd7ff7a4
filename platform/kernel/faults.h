// Fault points: tests make the next call of a kind fail with a chosen error (see ceplatform.h).
#pragma once

#include <windows.h>

namespace ce {

enum class FaultPoint {
    RegCreateKeyEx,
    RegOpenKeyEx,
    RegDeleteKey,
    RegSetValueEx,
    RegDeleteValue,
    ActivateDevice,
    DeactivateDevice,
    CreateEvent,
    CreateThread,
    LocalAlloc,
    LoadModule,
    HiveRename,
    CallRegion,
    Count
};

// True when the armed fault of this point fires now; *error receives its error code. Cheap when no fault is
// armed anywhere.
bool FaultFires(FaultPoint point, DWORD* error);

void ClearFaults();

}  // namespace ce
