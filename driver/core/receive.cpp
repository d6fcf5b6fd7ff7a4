// The receive side of the core: the ring the dispatch thread fills from the layer, and reading from it.
#include "core/handle_call.h"
#include "core/port_state.h"
#include "core/stream_calls.h"

namespace {

// What the layer hands over when the ring is full is taken into this much scratch space and lost.
constexpr DWORD kScratchBytes = 16;

// The contiguous free space at RxWrite. The ring keeps one byte free, so a full ring never looks empty.
DWORD ContiguousRoom(DWORD read, DWORD write, DWORD length) {
    if (read == 0) {
        return length - write - 1;
    }
    if (read > write) {
        return read - write - 1;
    }
    return length - write;
}

}  // namespace

// RxLock is held from reading the indices to advancing RxWrite, so that a reader emptying the ring (which
// resets both indices) or a purge never falls between them.
bool ReceiveStep(PortState* state, DWORD* passMask) {
    const PortOps& ops = OpsOf(state);
    LockGuard rx(state->RxLock);
    const DWORD write = state->RxWrite.load();
    const DWORD room = ContiguousRoom(state->RxRead.load(), write, state->RxLength);
    if (room == 0) {
        BYTE scratch[kScratchBytes];
        DWORD lost = kScratchBytes;
        ops.RxIntr(state->Port, scratch, &lost);
        state->DroppedBytesCore.fetch_add(lost);
        return false;
    }
    DWORD count = room;
    const DWORD untaken = ops.RxIntr(state->Port, state->RxBuffer + write, &count);
    state->DroppedBytesPort.fetch_add(untaken);
    if (count > room) {
        count = room;  // a layer that reports more than it was given room for cannot move the ring past it
    }
    DWORD next = write + count;
    if (next >= state->RxLength) {
        next -= state->RxLength;
    }
    state->RxWrite.store(next);
    state->RxBytes.fetch_add(count);
    return count != 0;
}

DWORD ReadPort(DWORD_PTR open, LPVOID buffer, DWORD count) {
    ContextRef call(open);
    if (!MayTransfer(call, GENERIC_READ)) {
        return kStreamFailure;
    }
    SetLastError(ERROR_NOT_SUPPORTED);
    return kStreamFailure;
}
