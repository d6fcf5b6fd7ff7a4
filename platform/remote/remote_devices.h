// The device backend of a program whose devices live in the device host. The public API checks its
// parameters first, as in-process, and then hands over to this backend.
//
// Caller buffers are copied with safe copies: a buffer the program cannot read or write fails the call
// with ERROR_INVALID_PARAMETER before the driver sees it (a driver answers a bad buffer so in-process).
// Transfers longer than kTransferPieceBytes cross in pieces, each a driver call of its own with the port's
// timeouts: a transfer ends at its first short or failed piece and reports what the pieces before moved.
// The thread's last error changes only where the host's call set it.
#pragma once

#include <windows.h>

#include "devices/device_backend.h"

namespace ce::remote {

extern const DeviceBackend kRemoteDevices;

// CloseHandle on a device file of the host: the handle goes, and the driver closes it there.
BOOL CloseRemote(HANDLE file);

}  // namespace ce::remote
