// The keys of a tulk pair, COM5: and COM6:, written and activated by the tools' helper programs.
#pragma once

#include <windows.h>

// Writes Drivers\BuiltIn\TULK<end> (COM<5 + end>:, partner the other end) and activates it; null on failure.
HANDLE ActivatePairEnd(DWORD end);
