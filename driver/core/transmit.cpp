// The transmit side of the core: writing a caller's bytes to the partner through the layer.
#include "core/handle_call.h"
#include "core/port_state.h"
#include "core/stream_calls.h"

DWORD WritePort(DWORD_PTR open, LPCVOID buffer, DWORD count) {
    ContextRef call(open);
    if (!MayTransfer(call, GENERIC_WRITE)) {
        return kStreamFailure;
    }
    SetLastError(ERROR_NOT_SUPPORTED);
    return kStreamFailure;
}
