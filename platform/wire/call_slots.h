// Caller arguments as they cross: a pointer to a DWORD crosses as a slot (present or not, and its value),
// so that the host runs the very call the program made, null pointers where it passed null pointers.
#pragma once

#include <cstdint>

#include <windows.h>

#include "kernel/caller_memory.h"
#include "wire/wire.h"

namespace ce::wire {

// The program's side.
inline bool PutSlot(Writer& request, const DWORD* caller) {
    DWORD value = 0;
    if (caller != nullptr && !SafeCopy(&value, caller, sizeof(value))) {
        return false;
    }
    request.U32(caller != nullptr ? 1 : 0);
    request.U32(value);
    return true;
}

inline bool TakeSlot(Reader& reply, DWORD* caller) {
    const DWORD value = reply.U32();
    return caller == nullptr || SafeCopy(caller, &value, sizeof(value));
}

// The host's side.
struct Slot {
    bool present = false;
    DWORD value = 0;

    DWORD* get() { return present ? &value : nullptr; }
};

inline Slot TakeSlot(Reader& request) {
    Slot slot;
    slot.present = request.U32() != 0;
    slot.value = request.U32();
    return slot;
}

inline void PutSlot(Writer& reply, const Slot& slot) {
    reply.U32(slot.value);
}

}  // namespace ce::wire
