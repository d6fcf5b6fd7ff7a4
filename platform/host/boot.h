// The device's boot: its registry from the directory's hive, no devices, then its start-up programs.
//
// Start-up programs are the values of HKEY_LOCAL_MACHINE\Init\StartUp, run in the order the values were
// created, one after the other, once the host serves. Each REG_SZ value is a command line: a program and
// its arguments separated by blanks; a program without '/' is looked for in PATH, then beside the host
// program. Each runs with the host's environment (CE_DEVICE naming this device) and output, and is waited
// for up to kStartUpWaitMs before the next one starts; one still running then is left to run.
#pragma once

#include <string>

namespace ce::host {

inline constexpr const char16_t* kStartUpKey = u"Init\\StartUp";
inline constexpr int kStartUpWaitMs = 10000;

// Attaches the registry to the device's hive and empties Drivers\Active. False with a message when the
// hive cannot be used.
bool BootRegistry(const std::string& dir, std::string* problem);

// Runs the start-up programs, logging each outcome on stderr (the device's host.log).
void RunStartUpPrograms();

}  // namespace ce::host
