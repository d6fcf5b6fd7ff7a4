// The transmit side of the core: a write hands the caller's bytes, uncopied, to the layer's TxIntr piece by
// piece.
//
// Only the writing thread itself hands pieces over, because a delivery waits until the partner's dispatch
// thread has taken the bytes, and a dispatch thread must never wait for another port's thread: two ends
// writing at once would each wait for the other. The dispatch thread decides when the next piece may go:
// after a piece, the layer marks a transmit source; the port's service pass first takes in whatever arrived
// (so an XOFF stops the very next piece) and then its TransmitStep lets the writer go on, leaves it held, or
// completes the write. TransmitEvent therefore means "look again" to a waiting writer; the state under TxLock
// says whether the write is over.
#include "core/layer_calls.h"
#include "core/handle_call.h"
#include "core/port_state.h"
#include "core/serial_core.h"
#include "core/stream_calls.h"

namespace {

// A second piece in a row that the layer takes nothing of while no flow control holds it means the partner
// is gone (or the caller's buffer cannot be read): the write ends with what went out.
constexpr int kRefusalsThatEndAWrite = 2;

// Ends the write in progress. Caller holds TxLock.
void FinishWrite(PortState* state) {
    DWORD none = 0;
    LayerTxIntr(state, nullptr, &none);
    state->TxPermissions = 0;
    state->TxBuffer = nullptr;
    state->TxLength = 0;
    state->TxRead = 0;
    SetEvent(state->TransmitEvent);
}

// Whether a service pass that started after `passSeen` has let the writer go. Pass numbers wrap; only their
// order since `passSeen` counts.
bool GoGivenSince(PortState* state, DWORD passSeen) {
    LockGuard tx(state->TxLock);
    return static_cast<LONG>(state->GoPass - passSeen) > 0;
}

// The pass a writer waits for after a piece: one numbered after `number`.
struct FreshPass {
    bool needed = false;
    DWORD number = 0;
};

enum class PieceResult {
    kDone,   // every byte taken, the write completed, or the port closed under it
    kWait,   // held, or a piece went out: wait for the dispatch thread's word
    kRetry,  // go on at once: a piece went out with no XOFF to wait for, or a refusal is to be confirmed
    kPass,   // a piece went out: have the port served, then wait for the word of that pass
};

// Asks for the pass a writer waits for. The writer runs it itself when no pass runs, so it mostly finds
// the word given when it comes to wait. Caller holds TransmitLock and no other lock.
void ServeForWriter(PortState* state) {
    SetFlag(state, kFlagWriterAwaitsPass);
    ServePortOrWake(state);
}

bool HeldByLines(PortState* state) {
    COMSTAT status{};
    LayerGetStatus(state, &status);
    return status.fCtsHold || status.fDsrHold;
}

// Hands the next piece to the layer. TxLock is not held across the delivery, so the dispatch thread can run
// its TransmitStep (and take in the partner's bytes) meanwhile; TransmitLock, held by the caller, keeps every
// other writer out.
// *passSeen asks for a fresh pass when a piece went out; a held writer goes on at any word, as its next try
// checks the holds again.
PieceResult HandOverNextPiece(PortState* state, int* refusals, FreshPass* passSeen) {
    const DCB dcb = GetDcb(state);
    LockGuard tx(state->TxLock);
    if (state->OpenCount.load() == 0) {
        state->TxBuffer = nullptr;  // the port was closed under the write
        return PieceResult::kDone;
    }
    if (state->TxBuffer == nullptr || state->TxLength == state->TxRead) {
        if (state->TxBuffer != nullptr) {
            FinishWrite(state);
        }
        return PieceResult::kDone;
    }
    if (dcb.fRtsControl == RTS_CONTROL_TOGGLE) {
        LayerSetRts(state);  // raised for the write, held or not
    }
    if (HasFlag(state, kXoffHolds)) {
        passSeen->needed = false;
        return PieceResult::kWait;  // XOFF holds the line; the pass that takes in an XON lets us go on
    }
    DWORD taken = state->TxLength - state->TxRead;
    const BYTE* source = state->TxBuffer + state->TxRead;
    const DWORD ownPermissions = SetProcPermissions(state->TxPermissions);
    tx.Unlock();
    LayerTxIntr(state, source, &taken);
    SetProcPermissions(ownPermissions);

    LockGuard again(state->TxLock);
    if (state->TxBuffer == nullptr) {
        return PieceResult::kDone;
    }
    state->TxRead += taken;
    state->TxBytes.fetch_add(taken);
    state->TxBytesSent.fetch_add(taken);
    if (state->TxRead == state->TxLength) {
        FinishWrite(state);
        return PieceResult::kDone;
    }
    if (taken != 0 || HeldByLines(state)) {
        *refusals = 0;
        passSeen->needed = false;
        if (taken != 0) {
            if (!HasFlag(state, kFlagXFlow)) {
                // Only an XOFF must be taken in before the next piece; CTS and DSR are checked by TxIntr
                // itself, so without XON/XOFF the writer goes straight on.
                return PieceResult::kRetry;
            }
            *passSeen = FreshPass{true, state->PassesStarted.load()};
            return PieceResult::kPass;  // the next piece waits for a pass that takes in what arrived
        }
        return PieceResult::kWait;  // a write held by the lines goes on when ModemIntr sees them come on
    }
    if (++*refusals < kRefusalsThatEndAWrite) {
        return PieceResult::kRetry;  // a hold may have ended between TxIntr and the status
    }
    FinishWrite(state);
    return PieceResult::kDone;
}

// What ends a write besides its last byte: an abort, the port's last close or a close of the writing
// handle, or its total time limit. Caller holds TxLock.
bool WriteStopsHere(PortState* state) {
    const OpenContext* context = state->TxContext;
    if (HasFlag(state, kFlagAbortTransmit) || state->OpenCount.load() == 0 ||
        (context != nullptr && context->Closed.load() != 0)) {
        return true;
    }
    return state->TxTimeLimitMs != 0 && GetTickCount() - state->TxStartTick >= state->TxTimeLimitMs;
}

// Milliseconds the write may still wait for a word; INFINITE without a time limit. Caller holds TxLock.
DWORD WriteTimeLeft(PortState* state) {
    if (state->TxTimeLimitMs == 0) {
        return INFINITE;
    }
    const DWORD spent = GetTickCount() - state->TxStartTick;
    return spent < state->TxTimeLimitMs ? state->TxTimeLimitMs - spent : 0;
}

// Every piece, whether it went out at once or after a wait, first checks what ends the write, so that a
// write whose pieces keep being taken still ends at its time limit, its abort or its close.
DWORD Transmit(OpenContext* context, const BYTE* buffer, DWORD count) {
    PortState* state = context->Device;
    LockGuard writers(state->TransmitLock);
    {
        const COMMTIMEOUTS timeouts = GetTimeouts(state);
        LockGuard tx(state->TxLock);
        ClearFlag(state, kFlagAbortTransmit);
        WaitForSingleObject(state->TransmitEvent, 0);  // a signal left over from an earlier write or abort
        state->TxPermissions = GetCurrentPermissions();
        state->TxBuffer = buffer;
        state->TxLength = count;
        state->TxRead = 0;
        state->TxContext = context;
        state->TxStartTick = GetTickCount();
        state->TxTimeLimitMs =
            timeouts.WriteTotalTimeoutMultiplier * count + timeouts.WriteTotalTimeoutConstant;
        state->TxBytesSent.store(0);
        state->TxBytesPending.store(count);
        ResetEvent(state->TransmitEvent);
    }
    int refusals = 0;
    // With XON/XOFF, an XOFF may have arrived and not been taken in yet: the first piece waits for a service
    // pass, which takes in what arrived before it lets the writer go. (Later pieces always follow one.)
    if (count != 0 && GetDcb(state).fRtsControl == RTS_CONTROL_TOGGLE) {
        LayerSetRts(state);  // up for the whole write, also while it waits for its first piece
    }
    FreshPass passSeen;
    bool awaitPass = HasFlag(state, kFlagXFlow) && count != 0;
    if (awaitPass) {
        passSeen = FreshPass{true, state->PassesStarted.load()};
        ServeForWriter(state);
    }
    for (;;) {
        if (WriteMustEnd(state)) {
            break;
        }
        const PieceResult result =
            awaitPass ? PieceResult::kWait : HandOverNextPiece(state, &refusals, &passSeen);
        if (result == PieceResult::kDone) {
            break;
        }
        if (result == PieceResult::kRetry) {
            continue;
        }
        if (result == PieceResult::kPass) {
            ServeForWriter(state);
        }
        DWORD wait = INFINITE;
        {
            LockGuard tx(state->TxLock);
            wait = WriteTimeLeft(state);
        }
        if (wait == 0 || WaitForSingleObject(state->TransmitEvent, wait) != WAIT_OBJECT_0) {
            break;
        }
        awaitPass = passSeen.needed && !GoGivenSince(state, passSeen.number);  // a stale word: wait on
    }
    if (!HasFlag(state, kFlagAbortTransmit) && state->OpenCount.load() == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    {
        // From here on nothing reads the caller's buffer.
        LockGuard tx(state->TxLock);
        state->TxPermissions = 0;
        state->TxBuffer = nullptr;
        state->TxLength = 0;
        state->TxRead = 0;
        state->TxContext = nullptr;
        state->TxBytesPending.store(0);
    }
    // Taken before the next writer may start and reset it.
    const DWORD sent = state->TxBytesSent.load();
    writers.Unlock();
    SignalCommEvents(state, EV_TXEMPTY);
    if (GetDcb(state).fRtsControl == RTS_CONTROL_TOGGLE) {
        LayerClearRts(state);
    }
    return sent;
}

}  // namespace

bool WriteMustEnd(PortState* state) {
    LockGuard tx(state->TxLock);
    return WriteStopsHere(state);
}

void RequestTransmitPass(PortState* state) {
    SetFlag(state, kFlagWriterAwaitsPass);
    SetEvent(state->SerialEvent);
}

void TransmitStep(PortState* state) {
    LockGuard tx(state->TxLock);
    if (state->OpenCount.load() == 0) {
        state->TxBuffer = nullptr;
        state->TxPermissions = 0;
        state->TxLength = 0;
        state->TxRead = 0;
    }
    if (state->TxBuffer != nullptr && state->TxLength != state->TxRead) {
        if (!HasFlag(state, kXoffHolds)) {
            state->GoPass = state->PassesStarted.load();
            SetEvent(state->TransmitEvent);  // the writer hands over the next piece
        }
        return;
    }
    FinishWrite(state);
}

DWORD WritePort(DWORD_PTR open, LPCVOID buffer, DWORD count) {
    ContextRef call(open);
    if (!MayTransfer(call, GENERIC_WRITE)) {
        return kStreamFailure;
    }
    ActiveCall active(call.get());
    return Transmit(call.get(), static_cast<const BYTE*>(buffer), count);
}
