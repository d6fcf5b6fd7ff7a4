// The crossing of bytes from a port to its partner.
//
// A delivery is synchronous: the writer copies at most one FIFO's worth into the partner's VirtualPort,
// marks a receive source there, has the partner served (running the partner's service pass itself when none
// runs, else waking its dispatch thread) and waits, holding no lock but its own port's TransmitLock, until
// the partner has dealt with the bytes. One writer owns a FIFO at a time (deliveryClaim); fifoState
// tells it why it woke:
//
//   Idle --writer--> Loaded --RxIntr--> Reading --RxIntr--> Taken --next report/close/purge--> Released
//                      |--receive purge--> Reading --> Discarded (every byte counts as sent, as on a line)
//                      '--close/deinit---> Abandoned (the delivery is refused and the write ends)
// Reading is held by whoever took the bytes out of Loaded, so a purge and RxIntr never both act on them.
// A stale delivery (see virtual_port.h) ends Abandoned wherever it is found.
//
// Release order. RxIntr only records that it took the bytes; the writer is let go by the receiving port's
// next GetInterruptType (which the core calls right after each step of its service pass), or by its close,
// deinit or purge. The receiving core's flow control of that same pass (an XOFF through XmitComChar,
// dropping RTS or DTR) is therefore in place before the writer can hand over its next piece, and flow
// control loses no byte.
//
// Immediate characters (XON, XOFF, TransmitCommChar) never wait for the partner: they go into a small ring
// in the receiving port, and RxIntr hands them over ahead of the FIFO.
//
// Pacing. A writer is faster than any line, so a receiver that simply lost what its full ring cannot hold
// would lose data whatever it did. A writer may run ahead of its reader by the receiving ring; beyond that
// its delivery waits in the FIFO for room (a read that makes room has the core take it in) for as long as
// its bytes would take on a line at the writer's settings, and only then are they lost, as a line would lose
// them: counted in overrunBytes and reported to the receiver (CE_RXOVER, EV_ERR). So a reader that keeps up
// with the line loses nothing, a faster one gets the full speed, and a writer whose partner never reads
// still finishes, at line speed. The core's word that the write must stop (an abort, a close, its time
// limit) ends the wait: a delivery not yet taken is then withdrawn, unsent.
#include <algorithm>
#include <cstdint>

#include <windows.h>
#include <pkfuncs.h>

#include "core/port_core.h"
#include "virtual/port_table.h"
#include "virtual/virtual_port.h"

namespace {

constexpr DWORD kWaitRetryMs = 1;  // only if waiting on the event itself fails
// A writer whose delivery waits for room asks the core this often whether its write must stop.
constexpr DWORD kWriterCheckMs = 20;
constexpr DWORD kMicrosecondsPerMs = 1000;
constexpr DWORD kSlowestBaud = 50;

bool IsFinal(DWORD state) {
    return state == kFifoReleased || state == kFifoDiscarded || state == kFifoAbandoned;
}

bool ChangeFifoState(VirtualPort* port, DWORD from, DWORD to) {
    return port->fifoState.compare_exchange_strong(from, to);
}

void EndDelivery(VirtualPort* port, DWORD outcome) {
    port->fifoState.store(outcome);
    SetEvent(port->rxConsumedEvent);
}

// Takes loaded bytes out of everyone else's reach; a stale delivery is refused on the way.
bool ClaimLoadedFifo(VirtualPort* port) {
    if (!ChangeFifoState(port, kFifoLoaded, kFifoReading)) {
        return false;
    }
    if (port->fifoGeneration.load() != port->openGeneration.load()) {
        EndDelivery(port, kFifoAbandoned);
        return false;
    }
    return true;
}

// Gives the FIFO back when the writer is done with it, however the delivery ended.
class FifoClaim {
  public:
    explicit FifoClaim(VirtualPort* port) : port_(port) {
        LONG free = 0;
        owned_ = port_->deliveryClaim.compare_exchange_strong(free, 1);
    }
    ~FifoClaim() {
        if (owned_) {
            port_->fifoState.store(kFifoIdle);
            port_->deliveryClaim.store(0);
        }
    }
    FifoClaim(const FifoClaim&) = delete;
    FifoClaim& operator=(const FifoClaim&) = delete;
    bool Owned() const { return owned_; }

  private:
    VirtualPort* port_;
    bool owned_;
};

// What a peek saw of the immediate ring: how many characters, and which fill of the ring they belong to.
struct ImmediatePeek {
    DWORD count = 0;
    DWORD purges = 0;
};

// Copies the waiting immediate characters, oldest first, leaving them queued.
ImmediatePeek PeekImmediate(VirtualPort* port, BYTE* out) {
    ImmediatePeek peek;
    if (port->immediateCount.load() == 0) {
        return peek;
    }
    LockGuard queue(port->immediateLock);
    peek.count = port->immediateCount.load();
    peek.purges = port->immediatePurges;
    for (DWORD i = 0; i < peek.count; ++i) {
        out[i] = port->immediateQueue[(port->immediateHead + i) % kImmediateQueueBytes];
    }
    return peek;
}

// Removes what was handed over; after a receive purge the ring holds other characters, which stay.
void PopImmediate(VirtualPort* port, const ImmediatePeek& peek, DWORD count) {
    if (count == 0) {
        return;
    }
    LockGuard queue(port->immediateLock);
    if (port->immediatePurges != peek.purges) {
        return;
    }
    port->immediateHead = (port->immediateHead + count) % kImmediateQueueBytes;
    port->immediateCount.fetch_sub(count);
}

bool StillOpen(VirtualPort* port, DWORD generation) {
    return port->receiving.load() && port->openGeneration.load() == generation;
}

void MarkDataReady(VirtualPort* port) {
    port->lineStatus.fetch_or(kLineDataReady);
    port->pendingSources.fetch_or(kSourceReceive);
}

void MarkReceived(PortState* state, VirtualPort* port) {
    MarkDataReady(port);
    WakePortService(state);
}

// The receive-side filters of one byte: whether it reaches the core, and whether it is the event character.
class ReceiveFilter {
  public:
    explicit ReceiveFilter(VirtualPort* port) : filter_(port->receiveFilter.load()) {
        dsrOff_ = (filter_ & kFilterDsrSensitive) != 0 && (port->modemStatus.load() & kModemDsr) == 0;
    }
    bool Passes(BYTE byte) {
        if (dsrOff_ || (byte == 0 && (filter_ & kFilterNull) != 0)) {
            return false;
        }
        if (byte == static_cast<BYTE>(filter_ >> kFilterEvtCharShift)) {
            sawEvtChar_ = true;
        }
        return true;
    }
    bool SawEvtChar() const { return sawEvtChar_; }
    void Forget() { sawEvtChar_ = false; }

  private:
    DWORD filter_;
    bool dsrOff_ = false;
    bool sawEvtChar_ = false;
};

// Whether a write must wait for `line`; records the hold if so. The line is looked at again after the
// hold is recorded: a partner raising it meanwhile either finds the hold to end or is seen here.
bool HoldFor(bool enabled, BYTE line, const std::atomic<BYTE>& lines, std::atomic<DWORD>& hold) {
    if (!enabled || (lines.load() & line) != 0) {
        hold.store(0);
        return false;
    }
    hold.store(1);
    if ((lines.load() & line) == 0) {
        return true;
    }
    hold.store(0);
    return false;
}

}  // namespace

bool HasReceivedBytes(VirtualPort* port) {
    return port->immediateCount.load() != 0 || port->fifoState.load() == kFifoLoaded;
}

void ReleaseTakenDelivery(VirtualPort* port) {
    if (ChangeFifoState(port, kFifoTaken, kFifoReleased)) {
        SetEvent(port->rxConsumedEvent);
    }
}

void AbandonDelivery(VirtualPort* port) {
    if (ChangeFifoState(port, kFifoLoaded, kFifoAbandoned)) {
        SetEvent(port->rxConsumedEvent);
        return;
    }
    ReleaseTakenDelivery(port);
}

void DiscardReceived(VirtualPort* port) {
    {
        LockGuard queue(port->immediateLock);
        port->immediateHead = 0;
        port->immediateCount.store(0);
        ++port->immediatePurges;
    }
    if (ClaimLoadedFifo(port)) {
        EndDelivery(port, kFifoDiscarded);
        return;
    }
    ReleaseTakenDelivery(port);
}

void PostImmediate(PortState* partnerState, VirtualPort* partner, BYTE character) {
    {
        LockGuard queue(partner->immediateLock);
        const DWORD count = partner->immediateCount.load();
        if (count == kImmediateQueueBytes) {
            partner->droppedImmediate.fetch_add(1);
            return;
        }
        partner->immediateQueue[(partner->immediateHead + count) % kImmediateQueueBytes] = character;
        partner->immediateCount.fetch_add(1);
    }
    MarkReceived(partnerState, partner);
}

DWORD ByteTimeUs(const DCB& dcb) {
    constexpr DWORD kTenthsPerBit = 10;
    const DWORD dataBits = std::clamp<DWORD>(dcb.ByteSize, 5, 8);
    const DWORD parityBits = dcb.Parity != NOPARITY ? 1 : 0;
    const DWORD stopTenths = dcb.StopBits == TWOSTOPBITS ? 20 : dcb.StopBits == ONE5STOPBITS ? 15 : 10;
    const DWORD tenths = (1 + dataBits + parityBits) * kTenthsPerBit + stopTenths;
    const DWORD baud = std::max<DWORD>(dcb.BaudRate, kSlowestBaud);
    return static_cast<DWORD>(uint64_t{tenths} * 1000000 / kTenthsPerBit / baud);
}

namespace {

// How long `bytes` take on the writer's line, in whole milliseconds, at least one.
DWORD LineTimeMs(const DeliveryWriter& writer, DWORD bytes) {
    const uint64_t us = uint64_t{writer.byteTimeUs} * bytes;
    return static_cast<DWORD>(std::max<uint64_t>(1, (us + kMicrosecondsPerMs - 1) / kMicrosecondsPerMs));
}

// The flow character among lost bytes that decides the receiver's transmit state: the last XON or XOFF,
// XOFF first where both are the same character. Answers false when XON/XOFF is off or none is there.
bool LastFlowCharacter(const VirtualPort* port, DWORD count, BYTE* character) {
    const DWORD filter = port->receiveFilter.load();
    if ((filter & kFilterXFlow) == 0) {
        return false;
    }
    const BYTE xon = static_cast<BYTE>(filter >> kFilterXonShift);
    const BYTE xoff = static_cast<BYTE>(filter >> kFilterXoffShift);
    for (DWORD i = count; i-- != 0;) {
        if (port->rxFifo[i] == xoff || port->rxFifo[i] == xon) {
            *character = port->rxFifo[i];
            return true;
        }
    }
    return false;
}

// The delivery's bytes waited their line time in a full ring: they are lost, as sent, and the receiver
// learns of it. XON and XOFF among them still act, as a UART sees them before its buffer does: the last one
// goes ahead as an immediate character, which a full ring still takes in. False when RxIntr or a purge got
// to the bytes first.
bool OverrunDelivery(PortState* partnerState, VirtualPort* partner) {
    if (!ClaimLoadedFifo(partner)) {
        return false;
    }
    const DWORD lost = partner->rxFifoCount.load();
    partner->overrunBytes.fetch_add(lost);
    partner->lineStatus.fetch_or(kLineOverrun);  // before the flow character can act
    BYTE flowCharacter = 0;
    if (LastFlowCharacter(partner, lost, &flowCharacter)) {
        PostImmediate(partnerState, partner, flowCharacter);
    }
    EndDelivery(partner, kFifoDiscarded);
    partner->eventCallback(partnerState, EV_ERR);
    return true;
}

// The write is over before the partner took its bytes: they are taken back, unsent.
void WithdrawDelivery(VirtualPort* partner) {
    if (ClaimLoadedFifo(partner)) {
        EndDelivery(partner, kFifoAbandoned);
    }
}

}  // namespace

DeliveryResult DeliverToPartner(const DeliveryWriter& writer, PortState* partnerState, VirtualPort* partner,
                                const BYTE* source, DWORD* count) {
    const DWORD offered = *count;
    *count = 0;
    if (offered > kFifoBytes || partnerState == nullptr || partner == nullptr) {
        return DeliveryResult::kRefused;
    }
    // Read before the open count: a writer that sees this port open sees it in this generation or a later.
    const DWORD generation = partner->openGeneration.load();
    if (!PortIsOpen(partnerState)) {
        return DeliveryResult::kRefused;
    }
    FifoClaim claim(partner);
    // A FIFO already owned means two ports name the same partner; one delivery at a time gets through.
    if (!claim.Owned() || !StillOpen(partner, generation)) {
        return DeliveryResult::kRefused;
    }
    if (offered == 0) {
        return DeliveryResult::kDelivered;
    }
    ResetEvent(partner->rxConsumedEvent);
    if (!CeSafeCopyMemory(partner->rxFifo, source, offered)) {
        return DeliveryResult::kFault;
    }
    partner->rxFifoCount.store(offered);
    partner->fifoTaken.store(0);
    partner->fifoRefusedAt.store(0);
    partner->fifoGeneration.store(generation);
    partner->fifoState.store(kFifoLoaded);
    MarkDataReady(partner);
    // A close that ran since the check above may have missed these bytes; end the delivery here then.
    if (!StillOpen(partner, generation)) {
        AbandonDelivery(partner);
    }
    // Mostly the partner's pass runs right here and releases the delivery before the wait below.
    partner->serviceCallback(partnerState);
    // The line-time clock runs from the first time a full ring refused the bytes: a partner that is merely
    // slow to serve its port loses nothing.
    const DWORD lineTimeMs = LineTimeMs(writer, offered);
    DWORD state = partner->fifoState.load();
    while (!IsFinal(state)) {
        DWORD wait = kWriterCheckMs;
        const DWORD refusedAt = partner->fifoRefusedAt.load();
        if (refusedAt != 0) {
            const DWORD spent = GetTickCount() - (refusedAt & ~1u);
            if (spent >= lineTimeMs && OverrunDelivery(partnerState, partner)) {
                break;
            }
            wait = spent < lineTimeMs ? std::min(lineTimeMs - spent, kWriterCheckMs) : kWriterCheckMs;
        }
        if (WriteMustEnd(writer.state)) {
            WithdrawDelivery(partner);
        }
        if (WaitForSingleObject(partner->rxConsumedEvent, wait) == WAIT_FAILED) {
            Sleep(kWaitRetryMs);
        }
        state = partner->fifoState.load();
    }
    state = partner->fifoState.load();
    switch (state) {
        case kFifoReleased:
            *count = partner->fifoTaken.load();
            return DeliveryResult::kDelivered;
        case kFifoDiscarded:
            *count = offered;
            return DeliveryResult::kDelivered;
        default:
            return DeliveryResult::kRefused;
    }
}

DWORD VirtualGetInterruptType(VirtualPort* port) {
    // The step that took the FIFO is over, with its flow control: the writer may go on now.
    ReleaseTakenDelivery(port);
    DWORD report = kInterruptNone;
    BYTE sources = port->pendingSources.load();
    BYTE next = kSourceNone;
    do {
        if ((sources & kSourceReceive) != 0) {
            next = sources & ~kSourceReceive;
            report = kInterruptReceive;
        } else if ((sources & kSourceTransmit) != 0) {
            next = sources & ~kSourceTransmit;
            report = kInterruptTransmit;
        } else if ((sources & kSourceModem) != 0) {
            next = sources & ~kSourceModem;
            report = kInterruptModem;
        } else {
            next = kSourceNone;
            report = kInterruptNone;
        }
    } while (!port->pendingSources.compare_exchange_weak(sources, next));
    return report;
}

DWORD VirtualRxIntr(VirtualPort* port, BYTE* target, DWORD* count, RxInto into) {
    if (count == nullptr) {
        return 0;
    }
    const DWORD room = target != nullptr ? *count : 0;
    *count = 0;
    BYTE staged[kImmediateQueueBytes + kFifoBytes];
    DWORD stored = 0;
    ReceiveFilter filter(port);

    BYTE immediate[kImmediateQueueBytes];
    const ImmediatePeek peek = PeekImmediate(port, immediate);
    DWORD immediateUsed = 0;
    while (immediateUsed < peek.count && stored < room) {
        const BYTE byte = immediate[immediateUsed++];
        if (filter.Passes(byte)) {
            staged[stored++] = byte;
        }
    }

    // A FIFO this call cannot reach for want of room stays loaded for the next call; a full ring takes none
    // of it, and its writer's clock starts (the writer decides when the bytes are lost).
    if (into == RxInto::kFullRing && port->fifoState.load() == kFifoLoaded) {
        DWORD unrefused = 0;
        port->fifoRefusedAt.compare_exchange_strong(unrefused, GetTickCount() | 1);
    }
    const bool fifoClaimed = into == RxInto::kRing && stored < room && ClaimLoadedFifo(port);
    const DWORD fifoCount = fifoClaimed ? port->rxFifoCount.load() : 0;
    DWORD fifoUsed = 0;
    while (fifoUsed < fifoCount && stored < room) {
        const BYTE byte = port->rxFifo[fifoUsed++];
        if (filter.Passes(byte)) {
            staged[stored++] = byte;
        }
    }

    if (stored != 0 && !CeSafeCopyMemory(target, staged, stored)) {
        // Nothing reached the core: the immediate characters stay queued, the writer sends its bytes again.
        stored = 0;
        immediateUsed = 0;
        fifoUsed = 0;
        filter.Forget();
    }
    *count = stored;
    PopImmediate(port, peek, immediateUsed);

    DWORD left = 0;
    if (fifoClaimed) {
        left = fifoCount - fifoUsed;
        port->rxFifoCount.store(left);
        port->fifoTaken.store(fifoUsed);
        port->fifoState.store(kFifoTaken);
        // A close that ran while the bytes were read found nothing to end; release the writer here then.
        if (!port->receiving.load()) {
            ReleaseTakenDelivery(port);
        }
    }
    port->lineStatus.fetch_and(static_cast<BYTE>(~kLineDataReady));
    if (HasReceivedBytes(port)) {
        port->lineStatus.fetch_or(kLineDataReady);
        // Reported again only when another call can take something: a full ring leaves the FIFO to the read
        // that makes room, or the pass would ask for it again and again.
        if (into == RxInto::kRing || port->immediateCount.load() != 0) {
            port->pendingSources.fetch_or(kSourceReceive);
        }
    }
    if (filter.SawEvtChar()) {
        port->eventCallback(port->portState, EV_RXFLAG);
    }
    return left;
}

void VirtualTxIntr(VirtualPort* port, const BYTE* source, DWORD* count) {
    if (count == nullptr || *count == 0) {
        return;
    }
    const DWORD offered = *count;
    *count = 0;
    DeliveryWriter writer{port->portState, 0};
    {
        LockGuard reg(port->registerLock);
        writer.byteTimeUs = ByteTimeUs(port->dcb);
        PulseEvent(port->flushEvent);
        // A held write is not marked for another transmit report: EndHolds lets it go when the line comes
        // on or the settings stop holding it.
        if (HoldFor(port->dcb.fOutxCtsFlow, kModemCts, port->modemStatus, port->ctsHold) ||
            HoldFor(port->dcb.fOutxDsrFlow, kModemDsr, port->modemStatus, port->dsrHold)) {
            return;
        }
    }
    {
        LockGuard tx(port->transmitLock);
        LockGuard reg(port->registerLock);
        if ((port->lineStatus.fetch_and(static_cast<BYTE>(~kLineTransmitterEmpty)) & kLineTransmitterEmpty) ==
            0) {
            return;  // another delivery of this port is under way
        }
    }
    // Held across the wait: a Deinit meanwhile must not free the port under this writer.
    AddRefVirtualPort(port);
    PartnerRef partner;
    AcquirePartner(port, &partner);
    DWORD piece = std::min(offered, kFifoBytes);
    const DeliveryResult result = DeliverToPartner(writer, partner.state, partner.port, source, &piece);
    ReleasePartner(&partner);
    {
        LockGuard tx(port->transmitLock);
        LockGuard reg(port->registerLock);
        port->lineStatus.fetch_or(kLineTransmitterEmpty);
        *count = piece;
        if (result == DeliveryResult::kDelivered) {
            // Nothing to mark: a writer with more to send asks its port's dispatch thread for a service pass
            // itself, so what arrived meanwhile (an XOFF) is taken in before its next piece goes.
        } else {
            // No partner to take the rest: the write ends with what went before.
            port->pendingSources.fetch_and(static_cast<BYTE>(~kSourceTransmit));
            WakePortWriter(port->portState);
        }
    }
    ReleaseVirtualPort(port);
}
