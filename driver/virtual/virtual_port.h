// The virtual port: what a UART would keep in its registers (receive FIFO, line and modem status, pending
// interrupt sources), kept in memory. The partner port writes into it directly, so every byte both ports
// write is an atomic changed by read-modify-write, never a plain store of a value read earlier.
//
// Locks, first taken to last (ranks in core/lock_order.h):
//   transmitLock   claims this port's transmitter for a delivery; never held while waiting for the partner
//   registerLock   settings (dcb, timeouts) and the transmit holds; SignalCommEvents may run under it
//   immediateLock  leaf: the queue of immediate characters posted by the partner
// A thread holds the locks of one port only; the port table's leaf lock is never held with any of these
// taken after it.
//
// Lifetime: reference counted. The core's PortState holds one reference from Init to Deinit; a partner
// thread holds one (with one on the PortState) for as long as it uses the port; the last one frees the
// memory, the locks and the events. Deinit only ends the port's logical life.
#pragma once

#include <atomic>

#include <windows.h>

#include "core/lock_order.h"
#include "core/port_ops.h"

constexpr DWORD kFifoBytes = 2048;          // one delivery carries at most this much
constexpr DWORD kImmediateQueueBytes = 64;  // immediate characters waiting ahead of the FIFO
constexpr DWORD kBaudTableEntries = 23;

// lineStatus bits (16550 line status register layout).
constexpr BYTE kLineDataReady = 0x01;
constexpr BYTE kLineOverrun = 0x02;  // received bytes were lost for want of room; cleared by GetStatus
constexpr BYTE kLineTransmitterEmpty = 0x20;

// modemStatus bits (16550 modem status register layout).
constexpr BYTE kModemCtsChanged = 0x01;
constexpr BYTE kModemDsrChanged = 0x02;
constexpr BYTE kModemDcdChanged = 0x08;
constexpr BYTE kModemCts = 0x10;
constexpr BYTE kModemDsr = 0x20;
constexpr BYTE kModemDcd = 0x80;
constexpr BYTE kModemChangeBits = kModemCtsChanged | kModemDsrChanged | kModemDcdChanged;
// A port's own lines at its first open while its partner is closed: DSR and DCD on and marked changed, CTS
// off. With the partner open they follow the partner's output lines, with the same change bits.
constexpr BYTE kModemFirstOpen = kModemDcd | kModemDsr | kModemDcdChanged | kModemDsrChanged;

// outputLines bits: what the port last drove on its own DTR and RTS (the partner's DSR/DCD and CTS).
constexpr BYTE kOutputDtr = 0x01;
constexpr BYTE kOutputRts = 0x02;
// The output lines a first open starts from: what a partner opening later is shown when this port drove
// nothing yet, the same as a partner that is closed.
constexpr BYTE kOutputsAtFirstOpen = kOutputDtr;

// pendingSources bits. kSourceNone is what the byte holds when nothing is pending.
constexpr BYTE kSourceNone = 0x01;
constexpr BYTE kSourceReceive = 0x02;
constexpr BYTE kSourceTransmit = 0x04;
constexpr BYTE kSourceModem = 0x10;

// The receive FIFO's hand-over between one writer (the claim holder) and this port's dispatch thread.
enum FifoState : DWORD {
    kFifoIdle = 0,       // no delivery, or a claim holder still filling the FIFO
    kFifoLoaded = 1,     // bytes wait for RxIntr
    kFifoReading = 2,    // RxIntr is copying them out
    kFifoTaken = 3,      // RxIntr took what it could (fifoTaken); the writer is released at the next report
    kFifoReleased = 4,   // writer may go on: fifoTaken bytes count as sent
    kFifoDiscarded = 5,  // a receive purge threw the bytes away: all count as sent
    kFifoAbandoned = 6,  // the port closed or went away before it took anything: the delivery is refused
};
// A delivery whose writer began before the port's latest first open is stale: the port was closed at some
// point of the write, so it is refused whole, never taken in, nor thrown away as sent by the opening purge.

struct BaudRateEntry {
    DWORD rate;     // bits per second
    DWORD divisor;  // 115200 Hz clock divisor of a 16550
};

using PortEventCallback = void(PortState* state, DWORD events);
// Has the core serve the port now: a pass on the calling thread when none runs, else the dispatch thread.
using PortServiceCallback = void(PortState* state);

struct VirtualPort {
    std::atomic<BYTE> lineStatus;      // atomic: kLine* bits, written by both ports
    std::atomic<BYTE> modemStatus;     // atomic: kModem* bits, the partner drives the lines
    HANDLE rxConsumedEvent;            // const after init; auto-reset, wakes the writer of a delivery
    BYTE rxFifo[kFifoBytes];           // the claim holder's until kFifoLoaded, then RxIntr's until kFifoTaken
    std::atomic<DWORD> rxFifoCount;    // atomic: bytes of the delivery in rxFifo
    std::atomic<BYTE> pendingSources;  // atomic: kSource* bits, written by both ports
    PortEventCallback* eventCallback;  // const after init
    PortServiceCallback* serviceCallback;  // const after init
    PortState* portState;                  // const after init: the owning instance
    DCB dcb;                               // registerLock
    COMMTIMEOUTS timeouts;                 // registerLock
    std::atomic<DWORD> openCount;          // atomic: StartPort runs not matched by StopPort
    const BaudRateEntry* baudTable;        // const after init
    HANDLE flushEvent;                     // const after init; auto-reset, pulsed each time TxIntr has bytes
    std::atomic<DWORD> ctsHold;            // atomic, set under registerLock: a write waits for CTS
    std::atomic<DWORD> dsrHold;            // atomic, set under registerLock: a write waits for DSR
    RankedLock transmitLock;
    RankedLock registerLock;
    DWORD deviceArrayIndex;     // const after init
    std::atomic<BYTE> isOpen;   // atomic: opened through this layer
    COMMPROP commProp;          // const after init
    PortState* ownerState;      // const after init: the instance the open-state query looks at
    std::atomic<DWORD> irMode;  // atomic: recorded only
    PortOpsObject* opsObject;   // const after init; freed with the last reference

    // Beyond the classic record:
    std::atomic<LONG> refs;                     // atomic: the core's reference and each partner user
    std::atomic<bool> receiving;                // atomic: deliveries accepted (open and not going away)
    std::atomic<LONG> deliveryClaim;            // atomic: 1 while one writer owns the FIFO
    std::atomic<DWORD> fifoState;               // atomic: FifoState of the delivery in rxFifo
    std::atomic<DWORD> fifoTaken;               // atomic: bytes of the delivery RxIntr handed over
    std::atomic<DWORD> openGeneration;          // atomic: counts first opens
    std::atomic<DWORD> fifoGeneration;          // atomic: the openGeneration its writer began in
    std::atomic<DWORD> receiveFilter;           // atomic: the settings that act on arriving bytes (below)
    RankedLock immediateLock;                   // leaf
    BYTE immediateQueue[kImmediateQueueBytes];  // immediateLock: ring of immediate characters
    DWORD immediateHead;                        // immediateLock: index of the oldest character
    DWORD immediatePurges;  // immediateLock: receive purges so far, so a late pop spares a refilled ring
    std::atomic<DWORD> immediateCount;  // changed under immediateLock; read without it to skip an empty ring
    std::atomic<DWORD> droppedImmediate;  // atomic: immediate characters lost to a full ring
    std::atomic<BYTE> outputLines;        // atomic: kOutput* bits, changed under registerLock
    std::atomic<DWORD> overrunBytes;      // atomic: delivered bytes lost because the core's ring stayed full
    // atomic: when a full ring first refused the delivery in rxFifo, as a tick with its lowest bit set; 0
    // while no full ring has refused it.
    std::atomic<DWORD> fifoRefusedAt;
};

// receiveFilter layout.
constexpr DWORD kFilterNull = 0x1;          // fNull: drop NUL bytes
constexpr DWORD kFilterDsrSensitive = 0x2;  // fDsrSensitivity: drop bytes while DSR is off
constexpr DWORD kFilterXFlow = 0x4;         // fOutX or fInX: XON and XOFF act on arrival
constexpr DWORD kFilterEvtCharShift = 8;    // EvtChar in bits 8..15
constexpr DWORD kFilterXonShift = 16;       // XonChar in bits 16..23
constexpr DWORD kFilterXoffShift = 24;      // XoffChar in bits 24..31
DWORD ReceiveFilterOf(const DCB& dcb);

// References (AddRefVirtualPort and ReleaseVirtualPort are in port_ops.h for the core).

// Lifecycle pieces (port_lifecycle.cpp).
void ResetInterruptState(VirtualPort* port);
void StartPort(VirtualPort* port);
void StopPort(VirtualPort* port);

// Crossing (crossing.cpp).
enum class DeliveryResult {
    kDelivered,  // count: the bytes the partner took (or threw away in a receive purge)
    kRefused,    // no partner, partner not open, too many bytes, FIFO busy, or partner closed meanwhile
    kFault,      // the source could not be read
};
// The writer's side of a delivery: its port's state, for the core's word on whether the write must stop,
// and how long one byte takes on its line, for how long it waits for room before its bytes overrun.
struct DeliveryWriter {
    PortState* state;
    DWORD byteTimeUs;
};
DeliveryResult DeliverToPartner(const DeliveryWriter& writer, PortState* partnerState, VirtualPort* partner,
                                const BYTE* source, DWORD* count);
// Microseconds one character takes on a line with these settings: start bit, data bits, parity, stop bits.
DWORD ByteTimeUs(const DCB& dcb);
// Lets a writer whose bytes RxIntr took go on; called at the port's next report, close, deinit and purge.
void ReleaseTakenDelivery(VirtualPort* port);
// Ends a writer's wait for a port that goes away (close, deinit): a delivery not yet taken is refused.
void AbandonDelivery(VirtualPort* port);
// A receive purge: what the FIFO and the immediate ring hold is thrown away; the writer counts it as sent.
void DiscardReceived(VirtualPort* port);
// True while received bytes (FIFO or immediate characters) wait for RxIntr.
bool HasReceivedBytes(VirtualPort* port);
// Queues one immediate character in the receiving port, or counts it lost when the ring is full.
void PostImmediate(PortState* partnerState, VirtualPort* partner, BYTE character);

// Modem lines (modem.cpp).
void EvaluateModemStatus(VirtualPort* port);
// Ends the CTS or DSR hold whose reason is gone and lets the held writer try again at once.
void EndHolds(VirtualPort* port, bool ctsGone, bool dsrGone);

// Settings (settings.cpp).
extern const BaudRateEntry kBaudTable[kBaudTableEntries];
BOOL CheckBaudRate(VirtualPort* port, DWORD rate);
BOOL CheckByteSize(VirtualPort* port, BYTE byteSize);
BOOL CheckParity(VirtualPort* port, BYTE parity);
BOOL CheckStopBits(VirtualPort* port, BYTE stopBits);
DWORD IsPortInUse(PortState* state);

// The thirty slots, each declared with its slot's type.
PortInitFn VirtualInit;
PortPostInitFn VirtualPostInit;
PortDeinitFn VirtualDeinit;
PortOpenFn VirtualOpen;
PortCloseFn VirtualClose;
PortGetInterruptTypeFn VirtualGetInterruptType;
PortRxIntrFn VirtualRxIntr;
PortTxIntrFn VirtualTxIntr;
PortModemIntrFn VirtualModemIntr;
PortLineIntrFn VirtualLineIntr;
PortGetRxBufferSizeFn VirtualGetRxBufferSize;
PortPowerOffFn VirtualPowerOff;
PortPowerOnFn VirtualPowerOn;
PortClearDtrFn VirtualClearDtr;
PortSetDtrFn VirtualSetDtr;
PortClearRtsFn VirtualClearRts;
PortSetRtsFn VirtualSetRts;
PortEnableIrFn VirtualEnableIr;
PortDisableIrFn VirtualDisableIr;
PortClearBreakFn VirtualClearBreak;
PortSetBreakFn VirtualSetBreak;
PortXmitComCharFn VirtualXmitComChar;
PortGetStatusFn VirtualGetStatus;
PortResetFn VirtualReset;
PortGetModemStatusFn VirtualGetModemStatus;
PortGetCommPropertiesFn VirtualGetCommProperties;
PortPurgeCommFn VirtualPurgeComm;
PortSetDcbFn VirtualSetDcb;
PortSetCommTimeoutsFn VirtualSetCommTimeouts;
PortIoctlFn VirtualIoctl;
