// Where a driver module named by a key's Dll value lives on this machine.
#pragma once

#include <string>

namespace ce {

// Environment variable with the directories searched first, colon-separated, in order.
inline constexpr const char* kDriverPathVariable = "CE_DRIVER_PATH";

// A name holding a '/' is a path and is taken as it is; any other name is looked up in the directories of
// CE_DRIVER_PATH, then in the platform's own driver directory beside libceplatform.so. Answers the
// canonical path of the file found, or an empty string when there is none.
std::string FindDriverModule(const std::string& name);

}  // namespace ce
