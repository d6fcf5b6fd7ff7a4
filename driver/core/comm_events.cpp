// Recording of communication events on the handles that wait for them.
#include "core/port_state.h"

// Runs on any thread, the partner's included, and may be called with the layer's registerLock held; it
// walks the handle list under ListLock only, because a close holds OpenLock while it waits for the very
// threads that signal here. A port without open handles has nobody to tell; that is no error of the thread
// that happens to signal (a first open signals before it counts its handle), so its last error stays.
void SignalCommEvents(PortState* state, DWORD events) {
    if (state->OpenCount.load() == 0) {
        return;
    }
    if ((state->EventMask.load() & events) == 0) {
        return;
    }
    LockGuard list(state->ListLock);
    for (OpenContext* context = state->OpenList; context != nullptr; context = context->Next) {
        LockGuard guard(context->EventLock);
        // Every bit is recorded, also those outside this handle's mask; a wait reports only masked ones.
        if ((context->WaitMask & events) != 0) {
            context->EventFlags.fetch_or(events);
            SetEvent(context->CommEvent);
        }
    }
}
