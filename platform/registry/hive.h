// The hive file the registry is attached to: loading it, saving after changes, and the last problem seen.
#pragma once

#include <string>

#include <windows.h>

namespace ce::registry {

// Attaches to the file named by CE_REGISTRY the first time the registry is used in this process.
void StartRegistry();
// Marks the environment as consulted, for controls that decide the hive themselves.
void SkipEnvironment();

// Loads path in place of what is in memory and saves there from now on; a missing file starts empty. On
// failure nothing changes, the problem is recorded and *error is ERROR_BADDB (malformed) or ERROR_CANTREAD.
bool AttachHive(const std::string& path, DWORD* error);
// Keeps the registry in memory only; the file is left as it is.
void DetachHive();

// Writes the hive if the registry changed since its last save. A failure is printed and recorded and the
// change stays in memory for the next save to carry; the answer is the failure's error code.
LONG SaveHive();

// The last load or save problem, or empty.
std::string HiveProblem();
void ClearHiveProblem();

}  // namespace ce::registry
