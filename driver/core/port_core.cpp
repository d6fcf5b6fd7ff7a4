// The core's routines for the virtual port layer (port_core.h): a view of a port's instance that needs none
// of its fields.
#include "core/port_core.h"

#include "core/port_state.h"

bool PortIsOpen(const PortState* state) {
    return state->OpenCount.load() != 0;
}

bool PortHasDataOwner(PortState* state) {
    if (!PortIsOpen(state)) {
        return false;
    }
    // The owner is unlinked and freed only under ListLock, so its access code is safe to read here.
    LockGuard list(state->ListLock);
    const OpenContext* owner = state->AccessOwner.load();
    return owner != nullptr && (owner->AccessCode & (GENERIC_READ | GENERIC_WRITE)) != 0;
}

bool PortWatchesEvents(const PortState* state, DWORD events) {
    return (state->EventMask.load() & events) != 0;
}

void WakePortService(PortState* state) {
    SetEvent(state->SerialEvent);
}

void WakePortWriter(PortState* state) {
    SetEvent(state->TransmitEvent);
}
