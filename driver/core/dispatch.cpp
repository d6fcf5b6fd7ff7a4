// The port's dispatch thread: started with the instance, stopped with it, woken by the layer through
// SerialEvent, and one service pass per wake-up that runs until the layer reports nothing pending. A thread
// that delivers to the port may run the pass itself when none runs (ServePortOrWake): passes never wait for
// another port's thread, so the deliverer loses nothing by it, and the port is spared two wake-ups.
#include "core/layer_calls.h"
#include "core/handle_call.h"
#include "core/port_state.h"
#include "core/serial_core.h"

namespace {

// The owner handle counts the pass among its active calls, so that closing it waits for the pass to end.
// Taken under ListLock: the owner cannot be unlinked and freed between reading and counting it.
OpenContext* CountIntoOwner(PortState* state) {
    LockGuard list(state->ListLock);
    OpenContext* owner = state->AccessOwner.load();
    if (owner != nullptr) {
        AddRefOpenContext(owner);
        owner->ActiveCalls.fetch_add(1);
    }
    return owner;
}

void CountOutOfOwner(OpenContext* owner) {
    if (owner != nullptr) {
        owner->ActiveCalls.fetch_sub(1);
        ReleaseOpenContext(owner);
    }
}

bool ClaimService(PortState* state) {
    return state->ServiceClaim.exchange(1) == 0;
}

void EndService(PortState* state) {
    state->ServiceClaim.store(0);
    if (state->ServiceAgain.exchange(0) != 0) {
        SetEvent(state->SerialEvent);
    }
}

}  // namespace

bool StartDispatchThread(PortState* state) {
    ClearFlag(state, kFlagKillThread);
    state->DispatchThread.store(nullptr);
    // The thread's own reference: if it does not stop in time it keeps the port alive until it ends.
    AddRefPortState(state);
    HANDLE thread = CreateThread(nullptr, 0, DispatchThreadProc, state, 0, nullptr);
    if (thread == nullptr) {
        ReleasePortState(state);
        return false;
    }
    state->DispatchThread.store(thread);
    return true;
}

BOOL StopDispatchThread(PortState* state) {
    HANDLE thread = state->DispatchThread.load();
    if (thread == nullptr) {
        return TRUE;
    }
    // The stopping thread lends its own priority, so a low-priority thread is not left waiting behind it.
    const int priority = CeGetThreadPriority(GetCurrentThread());
    if (priority != THREAD_PRIORITY_ERROR_RETURN) {
        CeSetThreadPriority(thread, priority);
    }
    SetFlag(state, kFlagKillThread);
    SetEvent(state->SerialEvent);
    const DWORD started = GetTickCount();
    WaitForSingleObject(state->ThreadExitEvent, kDispatchStopWaitMs);
    // The thread drops its reference after it reports its exit. Waiting for the thread itself means that,
    // when it stops in time, it has let go before COM_Deinit lets go, and the instance ends in COM_Deinit,
    // not later in a thread that runs on after the module may have been unloaded.
    const DWORD spent = GetTickCount() - started;
    const DWORD left = spent < kDispatchStopWaitMs ? kDispatchStopWaitMs - spent : 0;
    WaitForSingleObject(thread, left + kDispatchStopSettleMs);
    CloseHandle(thread);
    state->DispatchThread.store(nullptr);
    return TRUE;
}

DWORD WINAPI DispatchThreadProc(LPVOID parameter) {
    auto* state = static_cast<PortState*>(parameter);
    // The starter stores the handle only after the thread may already run.
    while (state->DispatchThread.load() == nullptr) {
        Sleep(kDispatchStartPollMs);
    }
    while (!HasFlag(state, kFlagKillThread)) {
        WaitForSingleObject(state->SerialEvent, INFINITE);
        if (HasFlag(state, kFlagKillThread)) {
            break;
        }
        // Asked before claiming, so a runner that ends between our failed claim and now still sees it.
        state->ServiceAgain.store(1);
        if (!ClaimService(state)) {
            continue;  // a pass runs inline; its runner wakes us again when it ends
        }
        state->ServiceAgain.store(0);
        HandlePortEvents(state);
        EndService(state);
    }
    // Also when the stop came in during a pass and the loop ended without a last HandlePortEvents.
    SetEvent(state->ThreadExitEvent);
    ReleasePortState(state);
    return 0;
}

void ServePortOrWake(PortState* state) {
    if (OwnsDispatchThread(state) && !HasFlag(state, kFlagKillThread) && ClaimService(state)) {
        HandlePortEvents(state);
        EndService(state);
        return;
    }
    SetEvent(state->SerialEvent);
}

void HandlePortEvents(PortState* state) {
    OpenContext* owner = CountIntoOwner(state);
    // Take the writer's request before numbering the pass: a request made after this point finds the flag
    // set again and gets a pass of its own, numbered after the writer's last piece.
    const bool writerAsked = (state->Flags.fetch_and(~kFlagWriterAwaitsPass) & kFlagWriterAwaitsPass) != 0;
    state->PassesStarted.fetch_add(1);
    DWORD mask = LayerGetInterruptType(state);
    if ((state->Flags.fetch_and(~kFlagReceiveAgain) & kFlagReceiveAgain) != 0) {
        mask |= kInterruptReceive;  // a read made room for data a full ring left waiting
    }
    bool stored = false;
    while (mask != kInterruptNone) {
        if ((mask & kInterruptReceive) != 0) {
            stored = ReceiveStep(state, &mask) || stored;
        }
        if ((mask & kInterruptTransmit) != 0) {
            TransmitStep(state);
        }
        if ((mask & kInterruptModem) != 0) {
            LayerModemIntr(state);
        }
        if ((mask & kInterruptLine) != 0) {
            LayerLineIntr(state);
        }
        mask = LayerGetInterruptType(state);
    }
    if (writerAsked) {
        TransmitStep(state);  // what arrived is in: the writer may go on, unless an XOFF holds it
    }
    if (stored) {
        SetEvent(state->ReadEvent);
        SignalCommEvents(state, EV_RXCHAR);
    }
    CountOutOfOwner(owner);
}
