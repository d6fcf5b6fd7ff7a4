// Communication events: their recording on the handles that wait for them, and the wait itself.
#include "core/handle_call.h"
#include "core/port_state.h"
#include "core/serial_core.h"

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

BOOL WaitForCommEvents(OpenContext* context, DWORD* result) {
    PortState* state = context->Device;
    *result = 0;
    if (state == nullptr || state->OpenCount.load() == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Whatever ends pending waits (a new mask, a close, a process exit) bumps WaitGeneration under EventLock
    // and then sets CommEvent; the wait looks at the generation under the same lock before it resets the
    // event, so no abort falls between its check and its wait.
    DWORD generation;
    {
        LockGuard events(context->EventLock);
        if (context->WaitMask == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        generation = context->WaitGeneration;
    }
    ActiveCall active(context);
    while (state->OpenCount.load() != 0) {
        DWORD taken;
        DWORD mask;
        {
            // Resetting CommEvent and taking the flags under EventLock loses no event recorded after the
            // reset: SignalCommEvents records and sets the event under the same lock.
            LockGuard events(context->EventLock);
            if (context->WaitGeneration != generation) {
                break;
            }
            ResetEvent(context->CommEvent);
            taken = context->EventFlags.exchange(0);
            mask = context->WaitMask;
        }
        if ((mask & taken) != 0) {
            *result = mask & taken;
            break;
        }
        WaitForSingleObject(context->CommEvent, INFINITE);
    }
    if (state->OpenCount.load() == 0) {
        *result = 0;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
