// The serial I/O control dispatcher: checks common to every code, then the work of each code.
#include <algorithm>
#include <iterator>

#include "core/layer_calls.h"
#include "core/handle_call.h"
#include "core/port_state.h"
#include "core/serial_core.h"
#include "core/stream_calls.h"
#include "core/trace.h"

namespace {

// What a handle opened with access 0 may ask: its event mask and waits, the status and settings queries,
// and the codes the layer answers.
constexpr DWORD kCodesWithoutDataAccess[] = {
    IOCTL_SERIAL_GET_WAIT_MASK,
    IOCTL_SERIAL_SET_WAIT_MASK,
    IOCTL_SERIAL_WAIT_ON_MASK,
    IOCTL_SERIAL_GET_MODEMSTATUS,
    IOCTL_SERIAL_GET_PROPERTIES,
    IOCTL_SERIAL_GET_TIMEOUTS,
    kIoctlPortOpenState,
    IOCTL_POWER_CAPABILITIES,
    IOCTL_POWER_SET,
    IOCTL_POWER_QUERY,
};

bool AllowedWithoutDataAccess(DWORD code) {
    return std::find(std::begin(kCodesWithoutDataAccess), std::end(kCodesWithoutDataAccess), code) !=
           std::end(kCodesWithoutDataAccess);
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The system tells a driver that a process holding the handle exits; whatever the packet, the answer is
// TRUE. The packet is copied first: it comes from the caller and may not be readable.
BOOL NotifyProcessEvent(OpenContext* context, const BYTE* in, DWORD inLength) {
    DEVICE_PSL_NOTIFY packet{};
    if (in != nullptr && inLength >= sizeof(packet) && CeSafeCopyMemory(&packet, in, sizeof(packet)) &&
        packet.dwSize == sizeof(packet) && packet.dwFlags == DLL_PROCESS_EXITING) {
        ReleaseWaiters(context);
    }
    return TRUE;
}

// Codes the core gives no meaning go to the layer's Ioctl slot; a refusal there is the caller's bad
// parameter, whatever error the slot set.
BOOL PassToLayer(PortState* state, DWORD code, PBYTE in, DWORD inLength, PBYTE out, DWORD outLength,
                 PDWORD actualOut) {
    if (!LayerIoctl(state, code, in, inLength, out, outLength, actualOut)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return TRUE;
}

bool OutputFits(DWORD size, PBYTE out, DWORD outLength, PDWORD returned) {
    return outLength >= size && out != nullptr && returned != nullptr;
}

bool InputFits(DWORD size, PBYTE in, DWORD inLength) {
    return inLength >= size && in != nullptr;
}

// Copies a result to the caller's buffer; a buffer that cannot be written fails the call cleanly.
bool PutOutput(PBYTE out, const void* value, DWORD size, PDWORD returned) {
    if (!CeSafeCopyMemory(out, value, size)) {
        return false;
    }
    *returned = size;
    return true;
}

template <class T>
bool GetInput(PBYTE in, T* value) {
    return CeSafeCopyMemory(value, in, sizeof(T)) != FALSE;
}

void RecomputeEventMask(PortState* state) {
    DWORD mask = 0;
    LockGuard list(state->ListLock);
    for (OpenContext* c = state->OpenList; c != nullptr; c = c->Next) {
        LockGuard events(c->EventLock);
        mask |= c->WaitMask;
    }
    state->EventMask.store(mask);
}

void Purge(PortState* state, DWORD flags) {
    LayerPurgeComm(state, flags);
    if (flags & PURGE_RXCLEAR) {
        EmptyReceiveRing(state);
        // Release receive flow control whatever the fill: nothing is held any more.
        const DCB dcb = GetDcb(state);
        LockGuard flow(state->FlowLock);
        if (dcb.fInX && HasFlag(state, kFlagSentXoff)) {
            ClearFlag(state, kFlagSentXoff | kFlagOwnXoffHold);
            RequestTransmitPass(state);  // a write held by our own XOFF goes on
            LayerXmitComChar(state, static_cast<BYTE>(dcb.XonChar));
        }
        if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE &&
            (state->Flags.fetch_and(~kFlagRtsFlowOff) & kFlagRtsFlowOff)) {
            LayerSetRts(state);
        }
        if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE &&
            (state->Flags.fetch_and(~kFlagDtrFlowOff) & kFlagDtrFlowOff)) {
            LayerSetDtr(state);
        }
    }
    if (flags & PURGE_RXABORT) {
        AbortReads(state);
    }
    if (flags & PURGE_TXABORT) {
        SetFlag(state, kFlagAbortTransmit);
        SetEvent(state->TransmitEvent);
    }
}

}  // namespace

namespace {

// Software flow control switched off leaves nothing held that no control could release any more: an XOFF
// this port sent is taken back with an XON (the partner would wait for it for ever) together with the hold
// of our own output that went with it, and without XON/XOFF at all a received XOFF holds nothing. Caller
// holds FlowLock.
void ReleaseSoftwareFlow(PortState* state, const DCB& previous, const DCB& dcb) {
    bool released = false;
    if (previous.fInX && !dcb.fInX &&
        (state->Flags.fetch_and(~(kFlagSentXoff | kFlagOwnXoffHold)) & kFlagSentXoff) != 0) {
        LayerXmitComChar(state, static_cast<BYTE>(previous.XonChar));
        released = true;
    }
    if (!dcb.fInX && !dcb.fOutX && (state->Flags.fetch_and(~kXoffHolds) & kXoffHolds) != 0) {
        released = true;
    }
    if (released) {
        RequestTransmitPass(state);  // a write held by either XOFF goes on
    }
}

}  // namespace

BOOL ApplyDcb(PortState* state, const DCB& dcb) {
    LockGuard flow(state->FlowLock);
    const DCB previous = GetDcb(state);
    if (!LayerSetDcb(state, &dcb)) {
        return FALSE;
    }
    SetDcbCopy(state, dcb);
    ReleaseSoftwareFlow(state, previous, dcb);
    if (dcb.fDtrControl == DTR_CONTROL_DISABLE) {
        LayerClearDtr(state);
    } else if (dcb.fDtrControl == DTR_CONTROL_ENABLE) {
        LayerSetDtr(state);
    }
    if (dcb.fRtsControl == RTS_CONTROL_DISABLE) {
        LayerClearRts(state);
    } else if (dcb.fRtsControl == RTS_CONTROL_ENABLE) {
        LayerSetRts(state);
    }
    const bool overThreeQuarters = 4 * RingFill(state) > 3 * state->RxLength;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) {
        // A line already dropped by flow control is raised again; one not yet dropped drops on a full ring.
        if (!HasFlag(state, kFlagDtrFlowOff) && overThreeQuarters) {
            SetFlag(state, kFlagDtrFlowOff);
            LayerClearDtr(state);
        } else {
            ClearFlag(state, kFlagDtrFlowOff);
            LayerSetDtr(state);
        }
    }
    if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        // A line already dropped stays dropped while the ring is over three quarters full.
        if (HasFlag(state, kFlagRtsFlowOff) && overThreeQuarters) {
            LayerClearRts(state);
        } else {
            ClearFlag(state, kFlagRtsFlowOff);
            LayerSetRts(state);
        }
    }
    if (dcb.fOutX || dcb.fInX) {
        SetFlag(state, kFlagXFlow);
    } else {
        ClearFlag(state, kFlagXFlow);
    }
    return TRUE;
}

namespace {

// The work of each code, after the handle, port and access checks, with ActiveCalls counted.
BOOL RunControlCode(OpenContext* context, DWORD code, PBYTE in, DWORD inLength, PBYTE out, DWORD outLength,
                    PDWORD returned) {
    PortState* state = context->Device;
    switch (code) {
        case IOCTL_SERIAL_SET_BREAK_ON:
            LayerSetBreak(state);
            return TRUE;
        case IOCTL_SERIAL_SET_BREAK_OFF:
            LayerClearBreak(state);
            return TRUE;
        case IOCTL_SERIAL_SET_DTR:
        case IOCTL_SERIAL_CLR_DTR:
            if (GetDcb(state).fDtrControl == DTR_CONTROL_HANDSHAKE) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            code == IOCTL_SERIAL_SET_DTR ? LayerSetDtr(state) : LayerClearDtr(state);
            return TRUE;
        case IOCTL_SERIAL_SET_RTS:
        case IOCTL_SERIAL_CLR_RTS:
            if (GetDcb(state).fRtsControl == RTS_CONTROL_HANDSHAKE) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            code == IOCTL_SERIAL_SET_RTS ? LayerSetRts(state) : LayerClearRts(state);
            return TRUE;
        case IOCTL_SERIAL_SET_XOFF:
            if (HasFlag(state, kFlagXFlow)) {
                SetFlag(state, kFlagStopXmit | kFlagSentXoff);
            }
            return TRUE;
        case IOCTL_SERIAL_SET_XON:
            if (HasFlag(state, kFlagXFlow)) {
                ClearFlag(state, kFlagStopXmit | kFlagSentXoff | kFlagOwnXoffHold);
                RequestTransmitPass(state);  // a held write goes on
            }
            return TRUE;
        case IOCTL_SERIAL_GET_WAIT_MASK: {
            if (!OutputFits(sizeof(DWORD), out, outLength, returned)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            DWORD mask;
            {
                LockGuard events(context->EventLock);
                mask = context->WaitMask;
            }
            return PutOutput(out, &mask, sizeof(mask), returned) ? TRUE : Fail(ERROR_INVALID_PARAMETER);
        }
        case IOCTL_SERIAL_SET_WAIT_MASK: {
            DWORD mask;
            if (!InputFits(sizeof(DWORD), in, inLength) || !GetInput(in, &mask)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            {
                LockGuard events(context->EventLock);
                context->WaitMask = mask;
                ++context->WaitGeneration;  // a pending wait returns TRUE with 0
                SetEvent(context->CommEvent);
            }
            RecomputeEventMask(state);
            return TRUE;
        }
        case IOCTL_SERIAL_WAIT_ON_MASK: {
            if (!OutputFits(sizeof(DWORD), out, outLength, returned)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            DWORD events = 0;
            const BOOL ok = WaitForCommEvents(context, &events);
            const DWORD error = GetLastError();
            if (!PutOutput(out, &events, sizeof(events), returned)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            SetLastError(error);
            return ok;
        }
        case IOCTL_SERIAL_GET_COMMSTATUS: {
            if (!OutputFits(sizeof(SERIAL_DEV_STATUS), out, outLength, returned)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            SERIAL_DEV_STATUS status{};
            status.Errors = LayerGetStatus(state, &status.ComStat);
            if ((state->Flags.fetch_and(~kFlagRxOverflow) & kFlagRxOverflow) != 0) {
                status.Errors |= CE_RXOVER;
            }
            status.ComStat.cbInQue = RingFill(state);
            status.ComStat.cbOutQue = state->TxBytesPending.load();
            status.ComStat.fXoffHold = HasFlag(state, kFlagStopXmit) ? 1 : 0;
            status.ComStat.fXoffSent = HasFlag(state, kFlagSentXoff) ? 1 : 0;
            return PutOutput(out, &status, sizeof(status), returned) ? TRUE : Fail(ERROR_INVALID_PARAMETER);
        }
        case IOCTL_SERIAL_GET_MODEMSTATUS: {
            if (!OutputFits(sizeof(DWORD), out, outLength, returned)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            DWORD modem = 0;
            LayerGetModemStatus(state, &modem);
            return PutOutput(out, &modem, sizeof(modem), returned) ? TRUE : Fail(ERROR_INVALID_PARAMETER);
        }
        case IOCTL_SERIAL_GET_PROPERTIES: {
            if (!OutputFits(sizeof(COMMPROP), out, outLength, returned)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            COMMPROP properties{};
            LayerGetCommProperties(state, &properties);
            return PutOutput(out, &properties, sizeof(properties), returned) ? TRUE
                                                                             : Fail(ERROR_INVALID_PARAMETER);
        }
        case IOCTL_SERIAL_SET_TIMEOUTS: {
            COMMTIMEOUTS timeouts;
            if (!InputFits(sizeof(COMMTIMEOUTS), in, inLength) || !GetInput(in, &timeouts)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            SetTimeoutsCopy(state, timeouts);
            LayerSetCommTimeouts(state, &timeouts);
            return TRUE;
        }
        case IOCTL_SERIAL_GET_TIMEOUTS: {
            if (!OutputFits(sizeof(COMMTIMEOUTS), out, outLength, returned)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            const COMMTIMEOUTS timeouts = GetTimeouts(state);
            return PutOutput(out, &timeouts, sizeof(timeouts), returned) ? TRUE
                                                                         : Fail(ERROR_INVALID_PARAMETER);
        }
        case IOCTL_SERIAL_PURGE: {
            DWORD flags;
            if (!InputFits(sizeof(DWORD), in, inLength) || !GetInput(in, &flags)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            Purge(state, flags);
            return TRUE;
        }
        case IOCTL_SERIAL_SET_QUEUE_SIZE:
            // The ring's size is fixed; the request is checked and otherwise changes nothing.
            return InputFits(sizeof(SERIAL_QUEUE_SIZES), in, inLength) ? TRUE : Fail(ERROR_INVALID_PARAMETER);
        case IOCTL_SERIAL_IMMEDIATE_CHAR: {
            BYTE character;
            if (!InputFits(1, in, inLength) || !GetInput(in, &character)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            LayerXmitComChar(state, character);
            return TRUE;
        }
        case IOCTL_SERIAL_GET_DCB: {
            if (!OutputFits(sizeof(DCB), out, outLength, returned)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            const DCB dcb = GetDcb(state);
            return PutOutput(out, &dcb, sizeof(dcb), returned) ? TRUE : Fail(ERROR_INVALID_PARAMETER);
        }
        case IOCTL_SERIAL_SET_DCB: {
            DCB dcb;
            if (!InputFits(sizeof(DCB), in, inLength) || !GetInput(in, &dcb)) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
            return ApplyDcb(state, dcb) ? TRUE : Fail(ERROR_INVALID_PARAMETER);
        }
        case IOCTL_SERIAL_ENABLE_IR:
            return LayerEnableIr(state, GetDcb(state).BaudRate);
        case IOCTL_SERIAL_DISABLE_IR:
            LayerDisableIr(state);
            return TRUE;
        default:
            return PassToLayer(state, code, in, inLength, out, outLength, returned);
    }
}

}  // namespace

BOOL ControlPort(DWORD_PTR open, DWORD code, PBYTE in, DWORD inLength, PBYTE out, DWORD outLength,
                 PDWORD actualOut) {
    ContextRef call(open);
    if (!call.IsOpen()) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    OpenContext* context = call.get();
    if (code == IOCTL_PSL_NOTIFY) {
        return NotifyProcessEvent(context, in, inLength);
    }
    if (!HasDataAccess(context) && !AllowedWithoutDataAccess(code)) {
        return Fail(ERROR_INVALID_ACCESS);
    }
    ActiveCall active(context);
    PortState* state = call.port();
    const BOOL result = RunControlCode(context, code, in, inLength, out, outLength, actualOut);
    if (state->TraceControlCodes) {
        const DWORD error = GetLastError();
        TraceControlCode(state->DeviceArrayIndex, code, result, error);
        SetLastError(error);
    }
    return result;
}
