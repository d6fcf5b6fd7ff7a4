// The core's calls into a port's operations table. Every slot is called through one of these wrappers,
// which checks (in builds with lock checks) what the slot's contract in port_ops.h asks of the caller: the
// instance is alive and bound to its layer, and which of the port's locks the caller holds or must not hold,
// so that a slot called from the wrong place fails on the first run that takes the path.
#pragma once

#include "core/lock_order.h"
#include "core/port_ops.h"
#include "core/port_state.h"

inline const PortOps& BoundOps(const PortState* state) {
    TULK_EXPECT(state != nullptr && state->Ops != nullptr && state->Port != nullptr &&
                state->Refs.load() > 0);
    return *state->Ops->ops;
}

// --- the service pass (under ServiceClaim; the layer may take its own locks) ---
inline DWORD LayerGetInterruptType(PortState* state) {
    AssertNoLockFrom(kRankVpTransmit);
    return BoundOps(state).GetInterruptType(state->Port);
}
inline DWORD LayerRxIntr(PortState* state, BYTE* target, DWORD* count, RxInto into) {
    AssertLockHeld(&state->RxLock);
    return BoundOps(state).RxIntr(state->Port, target, count, into);
}
inline void LayerModemIntr(PortState* state) {
    AssertNoLockFrom(kRankVpTransmit);
    BoundOps(state).ModemIntr(state->Port);
}
inline void LayerLineIntr(PortState* state) {
    AssertNoLockFrom(kRankVpTransmit);
    BoundOps(state).LineIntr(state->Port);
}

// --- transmission ---
// Bytes go only from the writing thread, which holds its port's TransmitLock and nothing from OpenLock on,
// since the slot may wait for the partner; the end of a write (no bytes) may come from anywhere.
inline void LayerTxIntr(PortState* state, const BYTE* source, DWORD* count) {
    if (source != nullptr && count != nullptr && *count != 0) {
        AssertLockHeld(&state->TransmitLock);
        AssertNoLockFrom(kRankOpen);
    }
    BoundOps(state).TxIntr(state->Port, source, count);
}
inline BOOL LayerXmitComChar(PortState* state, BYTE character) {
    AssertNoLockFrom(kRankVpTransmit);
    return BoundOps(state).XmitComChar(state->Port, character);
}

// --- lines: they act on the partner at once and never wait ---
inline void LayerSetDtr(PortState* state) {
    AssertNoLockFrom(kRankVpTransmit);
    BoundOps(state).SetDTR(state->Port);
}
inline void LayerClearDtr(PortState* state) {
    AssertNoLockFrom(kRankVpTransmit);
    BoundOps(state).ClearDTR(state->Port);
}
inline void LayerSetRts(PortState* state) {
    AssertNoLockFrom(kRankVpTransmit);
    BoundOps(state).SetRTS(state->Port);
}
inline void LayerClearRts(PortState* state) {
    AssertNoLockFrom(kRankVpTransmit);
    BoundOps(state).ClearRTS(state->Port);
}
inline void LayerSetBreak(PortState* state) {
    BoundOps(state).SetBreak(state->Port);
}
inline void LayerClearBreak(PortState* state) {
    BoundOps(state).ClearBreak(state->Port);
}

// --- status and settings ---
inline DWORD LayerGetStatus(PortState* state, COMSTAT* status) {
    AssertNoLockFrom(kRankVpTransmit);
    return BoundOps(state).GetStatus(state->Port, status);
}
inline void LayerGetModemStatus(PortState* state, DWORD* modemStatus) {
    AssertNoLockFrom(kRankVpTransmit);
    BoundOps(state).GetModemStatus(state->Port, modemStatus);
}
inline void LayerGetCommProperties(PortState* state, COMMPROP* properties) {
    BoundOps(state).GetCommProperties(state->Port, properties);
}
inline void LayerPurgeComm(PortState* state, DWORD flags) {
    AssertNoLockFrom(kRankVpTransmit);
    BoundOps(state).PurgeComm(state->Port, flags);
}
inline BOOL LayerSetDcb(PortState* state, const DCB* dcb) {
    AssertNoLockFrom(kRankVpTransmit);
    return BoundOps(state).SetDCB(state->Port, dcb);
}
inline DWORD LayerSetCommTimeouts(PortState* state, const COMMTIMEOUTS* timeouts) {
    AssertNoLockFrom(kRankVpTransmit);
    return BoundOps(state).SetCommTimeouts(state->Port, timeouts);
}
inline BOOL LayerEnableIr(PortState* state, DWORD baudRate) {
    return BoundOps(state).EnableIR(state->Port, baudRate);
}
inline BOOL LayerDisableIr(PortState* state) {
    return BoundOps(state).DisableIR(state->Port);
}
// A slot the layer may leave empty: a code it does not know is refused.
inline BOOL LayerIoctl(PortState* state, DWORD code, BYTE* in, DWORD inLength, BYTE* out, DWORD outLength,
                       DWORD* returned) {
    const PortOps& ops = BoundOps(state);
    return ops.Ioctl != nullptr && ops.Ioctl(state->Port, code, in, inLength, out, outLength, returned);
}

// --- life: opens and closes under OpenLock; the instance's own start and end hold no lock ---
inline DWORD LayerOpen(PortState* state) {
    AssertLockHeld(&state->OpenLock);
    return BoundOps(state).Open(state->Port);
}
inline DWORD LayerClose(PortState* state) {
    AssertLockHeld(&state->OpenLock);
    return BoundOps(state).Close(state->Port);
}
inline DWORD LayerPostInit(PortState* state) {
    AssertNoLockFrom(kRankTransmit);
    return BoundOps(state).PostInit(state->Port);
}
inline DWORD LayerGetRxBufferSize(PortState* state) {
    return BoundOps(state).GetRxBufferSize(state->Port);
}
inline BOOL LayerPowerOff(PortState* state) {
    return BoundOps(state).PowerOff(state->Port);
}
inline BOOL LayerPowerOn(PortState* state) {
    return BoundOps(state).PowerOn(state->Port);
}

// Init binds the layer to a new instance (its Port does not exist before); Deinit ends the layer's part of
// an instance whose last reference goes, also one whose Init failed (a null Port).
inline VirtualPort* LayerInit(PortState* state, LPCWSTR activeKey) {
    TULK_EXPECT(state->Ops != nullptr && state->Port == nullptr);
    return state->Ops->ops->Init(activeKey, state, state->Ops);
}
inline DWORD LayerDeinit(PortState* state) {
    TULK_EXPECT(state->Ops != nullptr);
    AssertNoLockFrom(kRankVpTransmit);
    return state->Ops->ops->Deinit(state->Port);
}
