// What the rest of the platform needs of device files.
#pragma once

#include <windows.h>

namespace ce {

// CloseHandle of a device file: the handle goes, and the driver's Close runs unless the device is gone
// (its Deinit already ended every open). FALSE with ERROR_INVALID_HANDLE for a handle that is not an open
// device file; FALSE with the driver's error when its Close fails (the handle is gone all the same).
BOOL CloseDeviceFile(HANDLE handle);

}  // namespace ce
