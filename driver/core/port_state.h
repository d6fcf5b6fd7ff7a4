// The serial core's records: PortState, one per port instance (the instance handle the device manager
// holds), and OpenContext, one per open handle; the stream entry points; the routines other parts of the
// core and the virtual port layer call.
//
// Every field is tagged with what guards it: a lock (see lock_order.h for their order), "atomic", or
// "const after init". Records reachable from other threads are reference counted (design rule: nothing is
// freed under a user): the device manager's instance reference, each partner thread that found the port
// through the port table, a dispatch thread that outlived its stop; the last user frees.
#pragma once

#include <atomic>

#include <windows.h>

#include "core/lock_order.h"
#include "core/port_core.h"
#include "core/port_ops.h"

// PortState::Flags bits.
enum PortFlag : DWORD {
    kFlagKillThread = 1u << 0,
    kFlagXFlow = 1u << 1,
    kFlagStopXmit = 1u << 2,
    kFlagSentXoff = 1u << 3,
    kFlagDtrFlowOff = 1u << 4,
    kFlagRtsFlowOff = 1u << 5,
    kFlagAbortTransmit = 1u << 7,
    // Our own output held because we sent XOFF with fTXContinueOnXoff clear. Kept apart from StopXmit (an
    // XOFF received): sending our XON must not cancel the partner's XOFF, or we overrun the partner's ring.
    kFlagOwnXoffHold = 1u << 8,
    // A new write waits for the dispatch thread's next service pass before its first piece (see
    // transmit.cpp).
    kFlagWriterAwaitsPass = 1u << 9,
    // The receive step found the ring full and left data waiting in the layer: the next read that makes room
    // asks for a receive step (kFlagReceiveAgain), which takes it in.
    kFlagRxStalled = 1u << 10,
    kFlagReceiveAgain = 1u << 11,
    // Received characters were lost to a full ring since the last status query (CE_RXOVER).
    kFlagRxOverflow = 1u << 12,
};

// Transmission waits while either XOFF stands.
constexpr DWORD kXoffHolds = kFlagStopXmit | kFlagOwnXoffHold;

constexpr DWORD kMinRxRingBytes = 2048;
constexpr DWORD kDefaultPriority256 = 103;
constexpr DWORD kCloseDrainPasses = 20;
constexpr DWORD kCloseDrainPassMs = 100;
constexpr DWORD kDispatchStopWaitMs = 3000;
constexpr DWORD kDispatchStopSettleMs = 10;
constexpr DWORD kDispatchStartPollMs = 20;

struct PortState;

struct OpenContext {
    PortState* Device;              // const after init; the context holds a reference on it
    DWORD AccessCode;               // const after init
    DWORD ShareMode;                // const after init
    std::atomic<LONG> ActiveCalls;  // atomic: calls working on this handle now
    HANDLE CommEvent;               // const after init; auto-reset
    DWORD WaitMask;                 // EventLock
    std::atomic<DWORD> EventFlags;  // atomic (changed under EventLock by exchange/or)
    DWORD WaitGeneration;           // EventLock: bumped by whatever ends the waits pending on the handle
    RankedLock EventLock;
    OpenContext* Next;                   // ListLock (and OpenLock for changes)
    OpenContext* Prev;                   // ListLock (and OpenLock for changes)
    std::atomic<LONG> Refs;              // atomic: the handle itself, each call inside, each walker
    std::atomic<DWORD> Closed;           // atomic, set under OpenLock: 1 once a close took the handle
    std::atomic<DWORD> ReleasedForExit;  // atomic, set under OpenLock: its process exits; the close follows
};

struct PortState {
    RankedLock TransmitLock;
    RankedLock ReceiveLock;
    PortOpsObject* Ops;                   // const after init
    VirtualPort* Port;                    // const after init
    HANDLE SerialEvent;                   // const after init; auto-reset, wakes the dispatch thread
    HANDLE ReadEvent;                     // const after init; auto-reset
    HANDLE ThreadExitEvent;               // const after init; auto-reset
    HANDLE TransmitEvent;                 // const after init; auto-reset
    std::atomic<HANDLE> DispatchThread;   // atomic; set by StartDispatchThread, cleared by StopDispatchThread
    DWORD Priority256;                    // const after init
    std::atomic<DWORD> DroppedBytesCore;  // atomic
    std::atomic<DWORD> DroppedBytesPort;  // atomic
    std::atomic<DWORD> RxBytes;           // atomic
    std::atomic<DWORD> TxBytes;           // atomic
    std::atomic<DWORD> TxBytesPending;    // atomic (written under TxLock)
    std::atomic<DWORD> TxBytesSent;       // atomic (written under TxLock)
    DCB Dcb;                              // SettingsLock; read through GetDcb()
    COMMTIMEOUTS Timeouts;                // SettingsLock; read through GetTimeouts()
    std::atomic<DWORD> OpenCount;         // atomic (changed under OpenLock)
    std::atomic<DWORD> Flags;             // atomic (PortFlag bits, changed by fetch_or/fetch_and)
    std::atomic<DWORD> EventMask;         // atomic
    std::atomic<DWORD> ReadAborts;        // atomic: bumped by every abort of the reads pending (purge, exit)
    std::atomic<DWORD> RxRead;            // atomic: moved by the reader (and reset under RxLock)
    std::atomic<DWORD> RxWrite;           // atomic: moved by the dispatch thread under RxLock
    DWORD RxLength;                       // const after init
    BYTE* RxBuffer;                       // const after init (the bytes: RxLock / producer-consumer)
    RankedLock RxLock;
    DWORD TxPermissions;     // TxLock
    DWORD TxRead;            // TxLock
    DWORD TxLength;          // TxLock
    const BYTE* TxBuffer;    // TxLock
    OpenContext* TxContext;  // TxLock: the handle the write in progress came on
    DWORD TxStartTick;       // TxLock: when it began
    DWORD TxTimeLimitMs;     // TxLock: its total time limit, 0 for none
    RankedLock TxLock;
    OpenContext* OpenList;  // ListLock (and OpenLock for changes); newest first
    RankedLock OpenLock;
    std::atomic<OpenContext*> AccessOwner;  // atomic (changed under OpenLock and ListLock)

    // Beyond the classic record:
    DWORD DeviceArrayIndex;      // const after init; 0..19
    RankedLock ListLock;         // guards the OpenList links for walkers
    RankedLock SettingsLock;     // leaf: guards Dcb and Timeouts
    std::atomic<LONG> Refs;      // atomic: instance + partner users + dispatch thread
    DWORD InitializedParts;      // const after init: which locks and buffers exist, for teardown
    std::atomic<DWORD> Retired;  // atomic, set under OpenLock by COM_Deinit: no open succeeds after it
    void (*ReleaseOps)(PortOpsObject* object);  // const after init: frees Ops when no VirtualPort took it
    bool TraceControlCodes;                     // const after init: log every I/O control (see trace.h)
    // Receive flow control: a flag (SentXoff, DtrFlowOff, RtsFlowOff) and the line or character that goes
    // with it change together under this lock, so the dispatch thread stopping the partner and a reader
    // releasing it can never leave the flag and the line disagreeing (a stop sent after the release).
    RankedLock FlowLock;
    // Service passes started by the dispatch thread, and the pass whose TransmitStep last let the writer go
    // (under TxLock). A writer goes on with its next piece only on the word of a pass that started after its
    // last piece ended: such a pass has taken in whatever arrived meanwhile (an XOFF), and a word given
    // during the piece is stale.
    std::atomic<DWORD> PassesStarted;
    DWORD GoPass;
    // Service passes run one at a time: on the dispatch thread, or on a thread that has just handed the port
    // something and finds no pass running (a writer delivering to its partner), which saves two wake-ups
    // per piece. ServiceClaim is held by the pass's runner; ServiceAgain asks it for another pass on the
    // dispatch thread when it ends.
    std::atomic<LONG> ServiceClaim;  // atomic
    std::atomic<LONG> ServiceAgain;  // atomic
};

// PortState::InitializedParts bits: the locks that exist and must be deleted with the record.
enum PortPart : DWORD {
    kPartOpenLock = 1u << 0,
    kPartListLock = 1u << 1,
    kPartSettingsLock = 1u << 2,
    kPartReceiveLock = 1u << 3,
    kPartTransmitLock = 1u << 4,
    kPartRxLock = 1u << 5,
    kPartTxLock = 1u << 6,
    kPartFlowLock = 1u << 7,
};

// A port's slots are called through the wrappers of layer_calls.h.
inline bool OwnsDispatchThread(const PortState* state) {
    return state->Ops != nullptr && (state->Ops->bindFlags & kBindOwnDispatchThread) != 0;
}

// Records. A new PortState carries the instance's reference, a new OpenContext the handle's; both come
// zero-filled from LocalAlloc (null when out of memory, with its error). A new OpenContext holds a reference
// on its port and has its CommEvent and EventLock.
PortState* AllocatePortState();
OpenContext* AllocateOpenContext(PortState* state, DWORD access, DWORD share);

// Snapshots of the settings, safe against a concurrent change.
DCB GetDcb(PortState* state);
COMMTIMEOUTS GetTimeouts(PortState* state);
void SetDcbCopy(PortState* state, const DCB& dcb);
void SetTimeoutsCopy(PortState* state, const COMMTIMEOUTS& timeouts);

// Flags helpers (atomic).
inline bool HasFlag(PortState* state, DWORD flag) {
    return (state->Flags.load() & flag) != 0;
}
inline void SetFlag(PortState* state, DWORD flag) {
    state->Flags.fetch_or(flag);
}
inline void ClearFlag(PortState* state, DWORD flag) {
    state->Flags.fetch_and(~flag);
}

// References (AddRefPortState and ReleasePortState are in port_core.h). The port table hands out no new
// reference once COM_Deinit has emptied the slot.
void AddRefOpenContext(OpenContext* context);
void ReleaseOpenContext(OpenContext* context);

// Routines of the instance and handle lifecycle used elsewhere in the driver.
bool StartDispatchThread(PortState* state);
BOOL StopDispatchThread(PortState* state);
// Process-exit notification: ends every call pending on the handle at once. Closes nothing.
BOOL ReleaseWaiters(OpenContext* context);

// The dispatch thread's body; its service pass comes with the transmit and receive paths.
DWORD WINAPI DispatchThreadProc(LPVOID parameter);
// One service pass: serves the port until the layer reports nothing pending. Runs under ServiceClaim, on
// the dispatch thread or inline (ServePortOrWake); never waits for another port's thread.
void HandlePortEvents(PortState* state);
// Moves what the layer reports received into the receive ring; adds kInterruptTransmit to *passMask when the
// pass must also run the transmit step. True when it stored at least one byte. Dispatch thread only.
bool ReceiveStep(PortState* state, DWORD* passMask);

// Entry points are the module's only exports; everything else stays hidden.
#define TULK_ENTRY __attribute__((visibility("default")))

// Stream entry points (both families behave the same; the KMX_ ones forward to these).
extern "C" {
TULK_ENTRY DWORD_PTR COM_Init(LPCWSTR activeKey, DWORD_PTR clientInfo);
TULK_ENTRY BOOL COM_Deinit(DWORD_PTR device);
TULK_ENTRY DWORD_PTR COM_Open(DWORD_PTR device, DWORD access, DWORD share);
TULK_ENTRY BOOL COM_Close(DWORD_PTR open);
TULK_ENTRY DWORD COM_Read(DWORD_PTR open, LPVOID buffer, DWORD count);
TULK_ENTRY DWORD COM_Write(DWORD_PTR open, LPCVOID buffer, DWORD count);
TULK_ENTRY DWORD COM_Seek(DWORD_PTR open, LONG amount, DWORD type);
TULK_ENTRY BOOL COM_IOControl(DWORD_PTR open, DWORD code, PBYTE in, DWORD inLength, PBYTE out,
                              DWORD outLength, PDWORD actualOut);
TULK_ENTRY BOOL COM_PowerUp(DWORD_PTR device);
TULK_ENTRY BOOL COM_PowerDown(DWORD_PTR device);

TULK_ENTRY DWORD_PTR KMX_Init(LPCWSTR activeKey, DWORD_PTR clientInfo);
TULK_ENTRY BOOL KMX_Deinit(DWORD_PTR device);
TULK_ENTRY DWORD_PTR KMX_Open(DWORD_PTR device, DWORD access, DWORD share);
TULK_ENTRY BOOL KMX_Close(DWORD_PTR open);
TULK_ENTRY DWORD KMX_Read(DWORD_PTR open, LPVOID buffer, DWORD count);
TULK_ENTRY DWORD KMX_Write(DWORD_PTR open, LPCVOID buffer, DWORD count);
TULK_ENTRY DWORD KMX_Seek(DWORD_PTR open, LONG amount, DWORD type);
TULK_ENTRY BOOL KMX_IOControl(DWORD_PTR open, DWORD code, PBYTE in, DWORD inLength, PBYTE out,
                              DWORD outLength, PDWORD actualOut);
TULK_ENTRY BOOL KMX_PowerUp(DWORD_PTR device);
TULK_ENTRY BOOL KMX_PowerDown(DWORD_PTR device);
}
