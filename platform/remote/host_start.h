// Joining a device's host, and starting it when none serves the device.
#pragma once

#include <string>

namespace ce::remote {

// A connected socket of the host serving dir, or -1 with the reason in *problem. Starts the host when
// nobody answers: under an flock on the directory's start.lock, so that programs starting at once start
// one host, and waits for it at most kStartTimeout.
int ConnectOrStartHost(const std::string& dir, std::string* problem);

// The host program: CE_HOST_PROGRAM, or cedevice in the programs' directory beside the platform library.
std::string HostProgram();

}  // namespace ce::remote
