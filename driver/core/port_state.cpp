// The life of the core's records: allocation, references and the release that frees them, and the
// snapshots of a port's settings.
#include "core/layer_calls.h"
#include "core/port_state.h"

#include <new>

namespace {

void CloseEvent(HANDLE event) {
    if (event != nullptr) {
        CloseHandle(event);
    }
}

void DeleteLockIf(PortState* state, PortPart part, RankedLock* lock) {
    if ((state->InitializedParts & part) != 0) {
        DeleteRankedLock(lock);
    }
}

// The last user is gone: the layer's object first (it may still signal through the events), then the rest.
void DestroyPortState(PortState* state) {
    if (state->Ops != nullptr) {
        LayerDeinit(state);
        if (state->Port == nullptr && state->ReleaseOps != nullptr) {
            state->ReleaseOps(state->Ops);
        }
    }
    CloseEvent(state->SerialEvent);
    CloseEvent(state->ReadEvent);
    CloseEvent(state->ThreadExitEvent);
    CloseEvent(state->TransmitEvent);
    DeleteLockIf(state, kPartOpenLock, &state->OpenLock);
    DeleteLockIf(state, kPartListLock, &state->ListLock);
    DeleteLockIf(state, kPartSettingsLock, &state->SettingsLock);
    DeleteLockIf(state, kPartReceiveLock, &state->ReceiveLock);
    DeleteLockIf(state, kPartTransmitLock, &state->TransmitLock);
    DeleteLockIf(state, kPartRxLock, &state->RxLock);
    DeleteLockIf(state, kPartTxLock, &state->TxLock);
    DeleteLockIf(state, kPartFlowLock, &state->FlowLock);
    if (state->RxBuffer != nullptr) {
        LocalFree(state->RxBuffer);
    }
    state->~PortState();
    LocalFree(state);
}

void DestroyOpenContext(OpenContext* context) {
    PortState* state = context->Device;
    DeleteRankedLock(&context->EventLock);
    CloseEvent(context->CommEvent);
    context->~OpenContext();
    LocalFree(context);
    ReleasePortState(state);
}

}  // namespace

PortState* AllocatePortState() {
    void* memory = LocalAlloc(LPTR, sizeof(PortState));
    if (memory == nullptr) {
        return nullptr;
    }
    auto* state = new (memory) PortState{};
    state->Refs.store(1);
    return state;
}

OpenContext* AllocateOpenContext(PortState* state, DWORD access, DWORD share) {
    void* memory = LocalAlloc(LPTR, sizeof(OpenContext));
    if (memory == nullptr) {
        return nullptr;
    }
    auto* context = new (memory) OpenContext{};
    context->CommEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (context->CommEvent == nullptr) {
        context->~OpenContext();
        LocalFree(memory);
        return nullptr;
    }
    InitRankedLock(&context->EventLock, kRankEvent, "EventLock");
    context->AccessCode = access;
    context->ShareMode = share;
    AddRefPortState(state);
    context->Device = state;
    context->Refs.store(1);
    return context;
}

void AddRefPortState(PortState* state) {
    state->Refs.fetch_add(1, std::memory_order_relaxed);
}

void ReleasePortState(PortState* state) {
    if (state->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        DestroyPortState(state);
    }
}

void AddRefOpenContext(OpenContext* context) {
    context->Refs.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseOpenContext(OpenContext* context) {
    if (context->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        DestroyOpenContext(context);
    }
}

DCB GetDcb(PortState* state) {
    LockGuard guard(state->SettingsLock);
    return state->Dcb;
}

COMMTIMEOUTS GetTimeouts(PortState* state) {
    LockGuard guard(state->SettingsLock);
    return state->Timeouts;
}

void SetDcbCopy(PortState* state, const DCB& dcb) {
    LockGuard guard(state->SettingsLock);
    state->Dcb = dcb;
}

void SetTimeoutsCopy(PortState* state, const COMMTIMEOUTS& timeouts) {
    LockGuard guard(state->SettingsLock);
    state->Timeouts = timeouts;
}
