// The device host's server: the socket in the device directory, one thread per connection, the sessions
// of the programs, and the host's own controls (status, stop).
#pragma once

#include <string>

namespace ce::host {

// Serves dir's device until stopped; the device's registry is booted already. readyFd, when not -1, gets
// one byte once the socket accepts connections, and a second one when the start-up programs have run (so
// that the program that started the host finds what they started), and is closed. Answers the exit
// status of the host program.
int ServeDevice(const std::string& dir, int readyFd);

}  // namespace ce::host
