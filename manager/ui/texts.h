// Every text the manager shows, word for word as the user sees it.
#pragma once

#include <windows.h>

namespace text {

inline constexpr const WCHAR* kAccessDenied =
    TEXT("Error: Access Denied. Please switch security configuration on Your device into UNRESTRICTED mode.");

inline constexpr const WCHAR* kPhysicalRoot = TEXT("Physical serial ports");
inline constexpr const WCHAR* kVirtualRoot = TEXT("Virtual serial ports");
inline constexpr const WCHAR* kUnknownPhysicalPort = TEXT("Unknown phisical port.");

inline constexpr const WCHAR* kNoFreePorts = TEXT("No available ports found!");
inline constexpr const WCHAR* kDeleteOpenPorts =
    TEXT("Some of the ports you are about to delete are open. Delete them anyway?");
inline constexpr const WCHAR* kDeleteFailed =
    TEXT("Delete failed. Possible one of virtual port still opened. Try resetting the device.");
inline constexpr const WCHAR* kDisableWarning = TEXT(
    "Warning: disabling this port you prevent other programs from correct functioning. Do it on your own "
    "risk. Do you still want to disable this port?");
inline constexpr const WCHAR* kEnableFailed = TEXT(
    "Error while enabling real serial port which was disabled previously. Please, delete all virtual "
    "serial ports, reboot the device and try once again.");

inline constexpr const WCHAR* kPortsMustDiffer = TEXT("Ports must be different.");
inline constexpr const WCHAR* kSelectPorts = TEXT("Please select COM ports.");
inline constexpr const WCHAR* kAddFailed =
    TEXT("Add virtual ports failed. Try choose other ports or resetting the device.");

}  // namespace text
