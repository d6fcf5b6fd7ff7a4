// The hive file the registry is attached to: loading it, saving after changes, and the last problem seen.
#pragma once

#include <string>

#include <windows.h>

namespace ce::registry {

// Attaches to the file named by CE_REGISTRY the first time the registry is used in this process. Answers
// ERROR_SUCCESS, or the error every registry call fails with while that file is refused (ERROR_BADDB,
// ERROR_CANTREAD, ERROR_SHARING_VIOLATION): a program that named a hive must not run on an empty registry
// whose changes go nowhere.
LONG StartRegistry();
// Marks the environment as consulted, for controls that decide the hive themselves.
void SkipEnvironment();

// Loads path in place of what is in memory and saves there from now on, holding the hive's lock (see
// hive_lock.h); a missing file starts empty. On failure nothing changes, the problem is recorded and *error
// is ERROR_BADDB (malformed), ERROR_CANTREAD or ERROR_SHARING_VIOLATION (another program holds the hive).
// Success ends a refusal of the environment's hive.
bool AttachHive(const std::string& path, DWORD* error);
// Keeps the registry in memory only; the file is left as it is and its lock let go, and a refusal of the
// environment's hive ends.
void DetachHive();

// Writes the hive if the registry changed since its last save. A failure is printed and recorded and the
// change stays in memory for the next save to carry; the answer is the failure's error code.
LONG SaveHive();

// The last load or save problem, or empty.
std::string HiveProblem();
void ClearHiveProblem();

}  // namespace ce::registry
