// Which device a process uses, decided once, at its first registry or device call.
//
// CE_DEVICE names the device directory; unset, the person's default device
// ($XDG_STATE_HOME/ceplatform/device, XDG_STATE_HOME defaulting to ~/.local/state); "none", the platform
// stays inside the process. The device host itself serves its device in-process.
#pragma once

#include <string>

namespace ce::wire {

inline constexpr const char* kDeviceVariable = "CE_DEVICE";
inline constexpr const char* kInProcessDevice = "none";

// True when this process's registry and devices live in a device host. Fixes the mode on first use.
bool Remote();

// Makes this process the host of its device: from now on it is never remote. Called before any other
// platform call of the host program.
void BecomeHost();

// The device directory of this process (absolute), or empty when the platform is in-process.
const std::string& DeviceDirectory();

// The directory CE_DEVICE names, or the default one; empty for "none" or when no home is known.
std::string ConfiguredDirectory();

// Creates dir (and missing parents) with mode 0700 and checks that it belongs to this user and that nobody
// else may enter it. False with a message in *problem otherwise.
bool MakePrivateDirectory(const std::string& dir, std::string* problem);

// Files of a device directory.
inline std::string SocketPath(const std::string& dir) {
    return dir + "/host.sock";
}
inline std::string StartLockPath(const std::string& dir) {
    return dir + "/start.lock";
}
inline std::string HostLockPath(const std::string& dir) {
    return dir + "/host.lock";
}
inline std::string HivePath(const std::string& dir) {
    return dir + "/registry.reg";
}
inline std::string LogPath(const std::string& dir) {
    return dir + "/host.log";
}

}  // namespace ce::wire
