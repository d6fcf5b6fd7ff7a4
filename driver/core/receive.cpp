// The receive side of the core: the ring the dispatch thread fills from the layer, the core's own receive
// flow control (XON/XOFF removal and sending, DTR/RTS handshake), and reading under the serial timeouts.
#include <cstring>

#include "core/layer_calls.h"
#include "core/handle_call.h"
#include "core/port_state.h"
#include "core/serial_core.h"
#include "core/stream_calls.h"

namespace {

// What the layer hands over when the ring is full is taken into this much scratch space and lost.
constexpr DWORD kScratchBytes = 16;

DWORD FillOf(DWORD read, DWORD write, DWORD length) {
    return write >= read ? write - read : length - read + write;
}

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

// Takes XON and XOFF out of `count` new bytes in place and answers how many bytes stay. XOFF is tested first,
// so with both characters equal the byte is an XOFF. An XON asks the pass to run the transmit step.
DWORD StripFlowCharacters(PortState* state, const DCB& dcb, BYTE* bytes, DWORD count, DWORD* passMask) {
    const BYTE xoff = static_cast<BYTE>(dcb.XoffChar);
    const BYTE xon = static_cast<BYTE>(dcb.XonChar);
    DWORD kept = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (bytes[i] == xoff) {
            SetFlag(state, kFlagStopXmit);
        } else if (bytes[i] == xon) {
            ClearFlag(state, kFlagStopXmit);
            *passMask |= kInterruptTransmit;
        } else {
            bytes[kept++] = bytes[i];
        }
    }
    return kept;
}

// Sets a flag and answers whether this call set it (so only one thread acts on the change).
bool SetFlagOnce(PortState* state, DWORD flag) {
    return (state->Flags.fetch_or(flag) & flag) == 0;
}
bool ClearFlagOnce(PortState* state, DWORD flag) {
    return (state->Flags.fetch_and(~flag) & flag) != 0;
}

// Stops the partner when the ring runs full: DTR and RTS drop over three quarters in handshake mode, XOFF
// goes out when the free space falls to XoffLim.
void ApplyReceiveFlowStop(PortState* state, const DCB& dcb) {
    LockGuard flow(state->FlowLock);
    const DWORD fill = RingFill(state);
    const bool overThreeQuarters = 4 * fill > 3 * state->RxLength;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE && overThreeQuarters &&
        SetFlagOnce(state, kFlagDtrFlowOff)) {
        LayerClearDtr(state);
    }
    if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE && overThreeQuarters &&
        SetFlagOnce(state, kFlagRtsFlowOff)) {
        LayerClearRts(state);
    }
    if (dcb.fInX && state->RxLength - fill <= dcb.XoffLim && SetFlagOnce(state, kFlagSentXoff)) {
        if (!dcb.fTXContinueOnXoff) {
            SetFlag(state, kFlagOwnXoffHold);
        }
        LayerXmitComChar(state, static_cast<BYTE>(dcb.XoffChar));
    }
}

}  // namespace

DWORD RingFill(PortState* state) {
    return FillOf(state->RxRead.load(), state->RxWrite.load(), state->RxLength);
}

// Characters lost to a full ring are reported as a receive overrun: CE_RXOVER at the next status query
// and EV_ERR to a handle that waits for it.
void ReportRingOverflow(PortState* state) {
    SetFlag(state, kFlagRxOverflow);
    SignalCommEvents(state, EV_ERR);
}

// RxLock is held from reading the indices to advancing RxWrite, so that a reader emptying the ring (which
// resets both indices) or a purge never falls between them. A full ring takes in only the characters posted
// ahead of the data, for XON and XOFF to act; the data waits in the layer, and the next read that makes
// room has it taken in (kFlagRxStalled), while its writer waits for that room as long as the bytes would
// take on a line.
bool ReceiveStep(PortState* state, DWORD* passMask) {
    const DCB dcb = GetDcb(state);
    DWORD count = 0;
    DWORD lost = 0;
    {
        LockGuard rx(state->RxLock);
        const DWORD write = state->RxWrite.load();
        const DWORD room = ContiguousRoom(state->RxRead.load(), write, state->RxLength);
        if (room == 0) {
            SetFlag(state, kFlagRxStalled);
            BYTE scratch[kScratchBytes];
            lost = kScratchBytes;
            LayerRxIntr(state, scratch, &lost, RxInto::kFullRing);
            if (lost > kScratchBytes) {
                lost = kScratchBytes;
            }
            if (HasFlag(state, kFlagXFlow)) {
                lost = StripFlowCharacters(state, dcb, scratch, lost, passMask);
            }
            state->DroppedBytesCore.fetch_add(lost);
        } else {
            count = room;
            const DWORD untaken = LayerRxIntr(state, state->RxBuffer + write, &count, RxInto::kRing);
            state->DroppedBytesPort.fetch_add(untaken);
            if (count > room) {
                count = room;  // a layer reporting more than it had room for cannot move the ring past it
            }
            if (HasFlag(state, kFlagXFlow) && count != 0) {
                count = StripFlowCharacters(state, dcb, state->RxBuffer + write, count, passMask);
            }
            DWORD next = write + count;
            if (next >= state->RxLength) {
                next -= state->RxLength;
            }
            state->RxWrite.store(next);
            state->RxBytes.fetch_add(count);
        }
    }
    if (lost != 0) {
        ReportRingOverflow(state);
    }
    ApplyReceiveFlowStop(state, dcb);
    return count != 0;
}

void ReleaseReceiveFlow(PortState* state) {
    const DCB dcb = GetDcb(state);
    LockGuard flow(state->FlowLock);
    const DWORD fill = RingFill(state);
    if (dcb.fInX && state->RxLength - fill > dcb.XoffLim && ClearFlagOnce(state, kFlagSentXoff)) {
        if (!dcb.fTXContinueOnXoff) {
            ClearFlag(state, kFlagOwnXoffHold);
            RequestTransmitPass(state);  // our own write, held while our XOFF stood, goes on
        }
        LayerXmitComChar(state, static_cast<BYTE>(dcb.XonChar));
    }
    if (2 * fill < state->RxLength) {
        if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE && ClearFlagOnce(state, kFlagRtsFlowOff)) {
            LayerSetRts(state);
        }
        if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE && ClearFlagOnce(state, kFlagDtrFlowOff)) {
            LayerSetDtr(state);
        }
    }
}

void RequestReceivePass(PortState* state) {
    SetFlag(state, kFlagReceiveAgain);
    ServePortOrWake(state);
}

void AbortReads(PortState* state) {
    state->ReadAborts.fetch_add(1);
    SetEvent(state->ReadEvent);
}

void EmptyReceiveRing(PortState* state) {
    LockGuard rx(state->RxLock);
    state->RxRead.store(0);
    state->RxWrite.store(0);
    std::memset(state->RxBuffer, 0, state->RxLength);
}

namespace {

struct ReadLimits {
    DWORD total;     // for the whole read; 0 = none
    DWORD interval;  // between bytes once one arrived; 0 = none, MAXDWORD = return with what is there
};

ReadLimits ComputeReadLimits(const COMMTIMEOUTS& t, DWORD length) {
    ReadLimits limits{};
    DWORD extra = 0;
    if (t.ReadTotalTimeoutMultiplier != MAXDWORD) {
        limits.total =
            t.ReadTotalTimeoutMultiplier * length + t.ReadTotalTimeoutConstant;  // 32-bit, as on the device
        extra = 8 * t.ReadTotalTimeoutMultiplier;
    } else {
        limits.total = t.ReadTotalTimeoutConstant;
    }
    limits.interval = t.ReadIntervalTimeout;
    if (limits.interval != 0 && limits.interval < MAXDWORD - extra) {
        limits.interval += extra;
    }
    return limits;
}

// Copies up to `length` bytes out of the ring into the caller's buffer; a read that empties the ring puts
// both indices back to 0, so the next arrival is stored from the start. Caller holds ReceiveLock. A buffer
// that cannot be written takes nothing out of the ring.
DWORD TakeFromRing(PortState* state, BYTE* target, DWORD length, bool* fault) {
    LockGuard rx(state->RxLock);
    const DWORD read = state->RxRead.load();
    const DWORD write = state->RxWrite.load();
    DWORD n = FillOf(read, write, state->RxLength);
    n = n < state->RxLength - read ? n : state->RxLength - read;
    n = n < length ? n : length;
    if (n == 0) {
        return 0;
    }
    if (!CeSafeCopyMemory(target, state->RxBuffer + read, n)) {
        *fault = true;
        return 0;
    }
    DWORD next = read + n;
    if (next >= state->RxLength) {
        next -= state->RxLength;
    }
    if (next == write) {
        state->RxWrite.store(0);
        next = 0;
    }
    state->RxRead.store(next);
    return n;
}

// `abortsSeen` is the port's abort count when the read came in: any abort after it ends the read, also one
// that comes while the read waits for another reader. The count is checked before every wait, and an abort
// sets ReadEvent (it does not pulse it), so one that lands just before the wait still ends it.
DWORD ReadRing(OpenContext* context, BYTE* buffer, DWORD length, DWORD abortsSeen) {
    PortState* state = context->Device;
    LockGuard readers(state->ReceiveLock);
    const ReadLimits limits = ComputeReadLimits(GetTimeouts(state), length);
    DWORD spent = 0;
    DWORD read = 0;
    while (length != 0) {
        if (RingFill(state) != 0) {
            bool fault = false;
            const DWORD n = TakeFromRing(state, buffer + read, length, &fault);
            if (fault) {
                // A buffer that cannot be written fails the read, unless bytes already went into it; either
                // way the ring keeps what was not delivered.
                SetLastError(ERROR_INVALID_PARAMETER);
                return read != 0 ? read : kStreamFailure;
            }
            length -= n;
            read += n;
            if (n != 0 && ClearFlagOnce(state, kFlagRxStalled)) {
                RequestReceivePass(state);  // data the full ring left waiting comes in now
            }
        } else {
            if (limits.interval == MAXDWORD && (limits.total == 0 || read > 0)) {
                break;
            }
            const DWORD limit = limits.total == 0 ? MAXDWORD : limits.total;
            if (spent >= limit || state->ReadAborts.load() != abortsSeen) {
                break;
            }
            DWORD wait = limit - spent;
            if (read > 0 && limits.interval != 0 && limits.interval < wait) {
                wait = limits.interval;
            }
            const DWORD before = GetTickCount();
            if (WaitForSingleObject(state->ReadEvent, wait) != WAIT_OBJECT_0) {
                break;
            }
            spent += GetTickCount() - before;
            if (state->ReadAborts.load() != abortsSeen) {
                break;
            }
            if (state->OpenCount.load() == 0) {
                SetLastError(ERROR_INVALID_HANDLE);
                break;
            }
        }
        ReleaseReceiveFlow(state);
    }
    return read;
}

}  // namespace

DWORD ReadPort(DWORD_PTR open, LPVOID buffer, DWORD count) {
    ContextRef call(open);
    if (!MayTransfer(call, GENERIC_READ)) {
        return kStreamFailure;
    }
    const DWORD abortsSeen = call.port()->ReadAborts.load();
    ActiveCall active(call.get());
    return ReadRing(call.get(), static_cast<BYTE*>(buffer), count, abortsSeen);
}
