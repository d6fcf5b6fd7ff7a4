// Reaching the host of a device directory, for programs and for cedevice's own commands alike: a
// connection to its socket, and whether a host lives there at all.
#pragma once

#include <string>

namespace ce::wire {

// A connected socket of the host serving dir, or -1 (errno set) when none answers. Starts nothing. A host
// that takes no connection within kHelloTimeoutMs (it is stopped, or its backlog is full) fails it with
// EAGAIN.
int ConnectToHost(const std::string& dir);

// Whether a host holds dir's host lock: it lives, whether it answers or not.
bool HostRunning(const std::string& dir);

}  // namespace ce::wire
