// The registry's controls for the rest of the platform.
#pragma once

namespace ce {

// Empties every root (handles to existing keys then answer ERROR_KEY_DELETED), detaches the hive without
// touching its file and clears the last problem message.
void ResetRegistry();

}  // namespace ce
