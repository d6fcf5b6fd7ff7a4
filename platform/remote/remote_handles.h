// A program's own handles for the host's registry keys and device files: entries of the process's handle
// table that hold the host's value and the session it belongs to. Local and host values never mix: a
// program only ever holds its own table's values, except for device handles from ActivateDevice, which are
// the host's own and the same in every program (the device manager publishes them as Hnd).
#pragma once

#include <cstdint>

#include <windows.h>

#include "kernel/handle_table.h"

namespace ce::remote {

// The value the host knows for a handle of this program; 0 (which the host refuses as invalid) for
// anything but an open handle of the type in the current session.
uint32_t RemoteValue(HANDLE handle, ObjectType type);
// A predefined root passes as it is; anything else as RemoteValue.
uint32_t RemoteKeyValue(HKEY key);
// A value the host gave out (a device handle), as it crosses back; 0 when it cannot be one.
uint32_t HostValue(HANDLE handle);

// A local handle for a value the host just gave this session, or nullptr (ERROR_NO_SYSTEM_RESOURCES
// set) when the table is full.
HANDLE WrapRemote(ObjectType type, uint32_t value);

// Removes the local handle and answers its host value, 0 when it is not open, and *stale when it belonged
// to an earlier session (whose host handles went with that host).
uint32_t UnwrapRemote(HANDLE handle, ObjectType type, bool* stale);

}  // namespace ce::remote
