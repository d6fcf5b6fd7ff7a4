// Handles on a port: the one data owner and any number of access-0 handles beside it, the first open that
// starts the port, and the close that waits for the calls still working on the handle.
#include "core/layer_calls.h"
#include "core/open_close.h"

#include <cstring>

#include "core/handle_call.h"
#include "core/live_records.h"
#include "core/serial_core.h"

namespace {

// Line settings of a first open: 9600 baud, 8 data bits, no parity, one stop bit, DTR and RTS on, no flow
// control.
constexpr DWORD kFirstOpenBaudRate = 9600;
constexpr WORD kFirstOpenXonLim = 512;
constexpr WORD kFirstOpenXoffLim = 128;
constexpr BYTE kFirstOpenByteSize = 8;
constexpr char kXonChar = 0x11;
constexpr char kXoffChar = 0x13;
constexpr char kCarriageReturn = 0x0D;

// Flags a first open clears; the others (KillThread, the transmit abort) keep their values. XFlow goes with
// the settings it follows, so a reopened port that reports XON/XOFF off never acts on XON or XOFF.
constexpr DWORD kFirstOpenClearedFlags = kFlagXFlow | kFlagStopXmit | kFlagSentXoff | kFlagOwnXoffHold |
                                         kFlagDtrFlowOff | kFlagRtsFlowOff | kFlagRxStalled | kFlagRxOverflow;

// An open that finds the data owner released by its process's exit waits this long at most for the close
// that follows the release, looking again every kExitingOwnerPollMs.
constexpr DWORD kExitingOwnerWaitMs = kCloseDrainPasses * kCloseDrainPassMs;
constexpr DWORD kExitingOwnerPollMs = 5;

// The low 15 bits of the flag word take their first-open values; the reserved upper bits and the two
// reserved words keep whatever they hold.
void SetFirstOpenDcb(DCB* dcb) {
    dcb->DCBlength = sizeof(DCB);
    dcb->BaudRate = kFirstOpenBaudRate;
    dcb->fBinary = 1;
    dcb->fParity = 0;
    dcb->fOutxCtsFlow = 0;
    dcb->fOutxDsrFlow = 0;
    dcb->fDtrControl = DTR_CONTROL_ENABLE;
    dcb->fDsrSensitivity = 0;
    dcb->fTXContinueOnXoff = 0;
    dcb->fOutX = 0;
    dcb->fInX = 0;
    dcb->fErrorChar = 0;
    dcb->fNull = 0;
    dcb->fRtsControl = RTS_CONTROL_ENABLE;
    dcb->fAbortOnError = 0;
    dcb->XonLim = kFirstOpenXonLim;
    dcb->XoffLim = kFirstOpenXoffLim;
    dcb->ByteSize = kFirstOpenByteSize;
    dcb->Parity = NOPARITY;
    dcb->StopBits = ONESTOPBIT;
    dcb->XonChar = kXonChar;
    dcb->XoffChar = kXoffChar;
    dcb->ErrorChar = kCarriageReturn;
    dcb->EofChar = kCarriageReturn;
    dcb->EvtChar = kCarriageReturn;
}

// The port starts afresh: settings, counters and ring. False when the layer refuses to open. OpenLock held.
bool StartPort(PortState* state) {
    DCB dcb;
    {
        LockGuard settings(state->SettingsLock);
        SetFirstOpenDcb(&state->Dcb);
        dcb = state->Dcb;
    }
    const COMMTIMEOUTS timeouts = GetTimeouts(state);
    state->RxBytes.store(0);
    state->TxBytes.store(0);
    state->TxBytesPending.store(0);
    state->DroppedBytesCore.store(0);
    state->DroppedBytesPort.store(0);
    ClearFlag(state, kFirstOpenClearedFlags);
    LayerSetDcb(state, &dcb);
    LayerSetCommTimeouts(state, &timeouts);
    if (!LayerOpen(state)) {
        return false;
    }
    LayerPurgeComm(state, PURGE_RXCLEAR);
    {
        LockGuard rx(state->RxLock);
        std::memset(state->RxBuffer, 0, state->RxLength);
        state->RxRead.store(0);
        state->RxWrite.store(0);
    }
    HANDLE thread = state->DispatchThread.load();
    if (OwnsDispatchThread(state) && thread != nullptr) {
        CeSetThreadPriority(thread, static_cast<int>(state->Priority256));
    }
    return true;
}

// Every close, not only the last, hands the thread back its normal priority.
void ReturnDispatchThreadToNormal(PortState* state) {
    HANDLE thread = state->DispatchThread.load();
    if (OwnsDispatchThread(state) && thread != nullptr) {
        SetThreadPriority(thread, THREAD_PRIORITY_NORMAL);
    }
}

// Wakes whatever works on the handle, pass after pass, until nothing does or the time is up; the close goes
// on regardless after that. `abort` also tells a pending read or write to return at once. OpenLock held.
void DrainCalls(OpenContext* context, bool abort) {
    PortState* state = context->Device;
    for (DWORD pass = 0; pass < kCloseDrainPasses && context->ActiveCalls.load() != 0; ++pass) {
        {
            LockGuard events(context->EventLock);
            context->WaitMask = 0;
            ++context->WaitGeneration;
            SetEvent(context->CommEvent);
        }
        if (HasDataAccess(context)) {
            if (abort) {
                AbortReads(state);
            }
            SetEvent(state->ReadEvent);
            if (abort) {
                SetFlag(state, kFlagAbortTransmit);
            }
            SetEvent(state->TransmitEvent);
        }
        Sleep(kCloseDrainPassMs);
    }
}

void Unlink(PortState* state, OpenContext* context) {
    LockGuard list(state->ListLock);
    if (state->AccessOwner.load() == context) {
        state->AccessOwner.store(nullptr);
    }
    if (context->Prev != nullptr) {
        context->Prev->Next = context->Next;
    } else if (state->OpenList == context) {
        state->OpenList = context->Next;
    }
    if (context->Next != nullptr) {
        context->Next->Prev = context->Prev;
    }
    context->Next = nullptr;
    context->Prev = nullptr;
}

void LinkFirst(PortState* state, OpenContext* context, bool owner) {
    LockGuard list(state->ListLock);
    if (owner) {
        state->AccessOwner.store(context);
    }
    context->Prev = nullptr;
    context->Next = state->OpenList;
    if (state->OpenList != nullptr) {
        state->OpenList->Prev = context;
    }
    state->OpenList = context;
}

// Drops a handle that was never handed out.
OpenContext* Discard(OpenContext* context, DWORD error) {
    UnregisterOpenContext(context);
    ReleaseOpenContext(context);
    SetLastError(error);
    return nullptr;
}

BOOL InvalidHandle() {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

// Closes one handle: the caller holds a reference on it, so the record outlives this call.
BOOL CloseContext(OpenContext* context) {
    PortState* state = context->Device;
    LockGuard open(state->OpenLock);
    if (context->Closed.load() != 0 || state->OpenCount.load() == 0) {
        return InvalidHandle();
    }
    context->Closed.store(1);
    state->OpenCount.fetch_sub(1);
    ReturnDispatchThreadToNormal(state);
    DrainCalls(context, false);
    if (state->OpenCount.load() == 0) {
        LayerClose(state);
    }
    Unlink(state, context);
    UnregisterOpenContext(context);
    ReleaseOpenContext(context);  // the handle's own reference; a call still inside keeps the record
    return TRUE;
}

}  // namespace

// The access rule is decided under OpenLock, which a close holds for its whole drain: an open that races the
// owner's close waits for it and then takes the port. Between a process-exit release and the close that
// follows it the owner is on its way out too, so an open waits for that close as well.
OpenContext* OpenPort(DWORD_PTR device, DWORD access, DWORD share) {
    PortRef port(device);
    PortState* state = port.get();
    if (state == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const bool wantsData = (access & kDataAccess) != 0;
    // The calls of an open that succeeds may set the last error on the way (a new event, a first open's
    // line report to nobody); a call that succeeds leaves the caller's as it was.
    const DWORD callersError = GetLastError();
    OpenContext* context = AllocateOpenContext(state, access, share);
    if (context == nullptr) {
        return nullptr;
    }
    if (!RegisterOpenContext(context)) {
        ReleaseOpenContext(context);
        return nullptr;
    }
    const DWORD started = GetTickCount();
    for (;;) {
        LockGuard open(state->OpenLock);
        if (state->Retired.load() != 0) {
            return Discard(context, ERROR_INVALID_HANDLE);
        }
        const OpenContext* owner = state->AccessOwner.load();
        if (wantsData && owner != nullptr) {
            if (owner->ReleasedForExit.load() == 0 || GetTickCount() - started >= kExitingOwnerWaitMs) {
                return Discard(context, ERROR_INVALID_ACCESS);
            }
            open.Unlock();
            Sleep(kExitingOwnerPollMs);
            continue;
        }
        LinkFirst(state, context, wantsData);
        if (state->OpenCount.load() != 0) {
            state->OpenCount.fetch_add(1);
        } else if (StartPort(state)) {
            state->OpenCount.store(1);
        } else {
            Unlink(state, context);
            return Discard(context, ERROR_OPEN_FAILED);
        }
        SetLastError(callersError);
        return context;
    }
}

BOOL ClosePort(DWORD_PTR open) {
    ContextRef call(open);
    if (call.get() == nullptr) {
        return InvalidHandle();
    }
    return CloseContext(call.get());
}

void CloseAllHandles(PortState* state) {
    for (;;) {
        OpenContext* next = nullptr;
        {
            LockGuard list(state->ListLock);
            for (OpenContext* context = state->OpenList; context != nullptr; context = context->Next) {
                if (context->Closed.load() == 0) {
                    AddRefOpenContext(context);
                    next = context;
                    break;
                }
            }
        }
        if (next == nullptr) {
            return;
        }
        const BOOL closed = CloseContext(next);
        ReleaseOpenContext(next);
        if (!closed) {
            return;  // the port has no open handle left to count down
        }
    }
}

BOOL ReleaseWaiters(OpenContext* context) {
    PortState* state = context->Device;
    if (state == nullptr) {
        return InvalidHandle();
    }
    LockGuard open(state->OpenLock);
    if (context->Closed.load() != 0 || state->OpenCount.load() == 0) {
        return InvalidHandle();
    }
    context->ReleasedForExit.store(1);
    ReturnDispatchThreadToNormal(state);
    DrainCalls(context, true);
    return TRUE;
}
