// A check of caller memory that must not fault, beside CeSafeCopyMemory (pkfuncs.h).
#pragma once

#include <cstddef>

namespace ce {

// Whether every byte of [buffer, buffer + size) can be written now, proven without a fault and without
// changing a byte (another thread may be writing there). True for size 0.
bool ProvenWritable(void* buffer, size_t size);

}  // namespace ce
