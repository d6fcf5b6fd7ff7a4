// Modem lines and status of a virtual port. The pair is wired as a null-modem cable: this port's DTR
// drives the partner's DSR and DCD, its RTS the partner's CTS. Output lines keep no state of their own;
// each change acts at once on the partner's modem status. A change the partner watches for (its event mask
// has the line's event) is marked and reported, and the partner's dispatch thread turns it into events; an
// unwatched change only sets the level, so the partner's thread is not woken for nothing (under RTS/CTS
// flow control the lines change twice for every ring's worth of data) and no stale event turns up later.
// A write held by a line that comes on is let go at once, whether or not anyone watches the line.
#include <windows.h>
#include <pkfuncs.h>

#include "core/port_core.h"
#include "virtual/port_table.h"
#include "virtual/virtual_port.h"

namespace {

// What one output-line operation does to the partner's modem status. The change bits are set even when the
// line already had the new level, so every watched call gives the partner a report and its events.
struct LineWiring {
    BYTE set;
    BYTE clear;
    BYTE output;  // the port's own output line it drives
    bool on;
};

constexpr LineWiring kSetDtrWiring{kModemDcd | kModemDsr | kModemDcdChanged | kModemDsrChanged, 0, kOutputDtr,
                                   true};
constexpr LineWiring kClearDtrWiring{kModemDcdChanged | kModemDsrChanged, kModemDcd | kModemDsr, kOutputDtr,
                                     false};
constexpr LineWiring kSetRtsWiring{kModemCts | kModemCtsChanged, 0, kOutputRts, true};
constexpr LineWiring kClearRtsWiring{kModemCtsChanged, kModemCts, kOutputRts, false};

struct ChangeEvent {
    BYTE changeBit;
    DWORD event;
};

constexpr ChangeEvent kChangeEvents[] = {
    {kModemCtsChanged, EV_CTS},
    {kModemDsrChanged, EV_DSR},
    {kModemDcdChanged, EV_RLSD},
};

struct LineBit {
    BYTE line;
    DWORD modemStatusBit;
};

constexpr LineBit kLineBits[] = {
    {kModemCts, MS_CTS_ON},
    {kModemDsr, MS_DSR_ON},
    {kModemDcd, MS_RLSD_ON},
};

DWORD EventsOfChanges(BYTE changes) {
    DWORD events = 0;
    for (const ChangeEvent& entry : kChangeEvents) {
        if ((changes & entry.changeBit) != 0) {
            events |= entry.event;
        }
    }
    return events;
}

void DriveLine(VirtualPort* port, const LineWiring& wiring) {
    PartnerRef partner;
    const bool found = AcquirePartner(port, &partner);
    {
        LockGuard reg(port->registerLock);
        // Recorded before the partner's status changes: a partner opening meanwhile reads it after storing
        // its own lines and corrects them (StartPort).
        if (wiring.on) {
            port->outputLines.fetch_or(wiring.output);
        } else {
            port->outputLines.fetch_and(static_cast<BYTE>(~wiring.output));
        }
        if (found && partner.port != nullptr) {
            const bool watched = PortWatchesEvents(partner.state, EventsOfChanges(wiring.set));
            const BYTE set = watched ? wiring.set : static_cast<BYTE>(wiring.set & ~kModemChangeBits);
            // Set and clear land together, and a change the partner clears meanwhile is not undone.
            BYTE lines = partner.port->modemStatus.load();
            BYTE next = 0;
            do {
                next = static_cast<BYTE>((lines & ~wiring.clear) | set);
            } while (!partner.port->modemStatus.compare_exchange_weak(lines, next));
            if (watched) {
                partner.port->pendingSources.fetch_or(kSourceModem);
                WakePortService(partner.state);
            }
            // After the lines are stored: a writer that holds itself meanwhile sees them (VirtualTxIntr).
            EndHolds(partner.port, (next & kModemCts) != 0, (next & kModemDsr) != 0);
        }
    }
    if (found) {
        ReleasePartner(&partner);
    }
}

}  // namespace

void EvaluateModemStatus(VirtualPort* port) {
    const BYTE changes = port->modemStatus.fetch_and(static_cast<BYTE>(~kModemChangeBits));
    const DWORD events = EventsOfChanges(changes);
    if (events != 0) {
        port->eventCallback(port->portState, events);
    }
}

void EndHolds(VirtualPort* port, bool ctsGone, bool dsrGone) {
    bool ended = false;
    if (ctsGone) {
        ended = port->ctsHold.exchange(0) != 0 || ended;
    }
    if (dsrGone) {
        ended = port->dsrHold.exchange(0) != 0 || ended;
    }
    if (ended) {
        WakePortWriter(port->portState);  // its next piece checks the lines itself
    }
}

void VirtualSetDtr(VirtualPort* port) {
    DriveLine(port, kSetDtrWiring);
}
void VirtualClearDtr(VirtualPort* port) {
    DriveLine(port, kClearDtrWiring);
}
void VirtualSetRts(VirtualPort* port) {
    DriveLine(port, kSetRtsWiring);
}
void VirtualClearRts(VirtualPort* port) {
    DriveLine(port, kClearRtsWiring);
}

void VirtualModemIntr(VirtualPort* port) {
    EvaluateModemStatus(port);
}

// The line status of a virtual port never carries an error or a break, so there is no line report.
void VirtualLineIntr(VirtualPort* /*port*/) {}

void VirtualGetModemStatus(VirtualPort* port, DWORD* modemStatus) {
    EvaluateModemStatus(port);
    DWORD word = 0;
    if (modemStatus == nullptr || !CeSafeCopyMemory(&word, modemStatus, sizeof(word))) {
        return;
    }
    const BYTE lines = port->modemStatus.load();
    for (const LineBit& bit : kLineBits) {
        if ((lines & bit.line) != 0) {
            word |= bit.modemStatusBit;
        }
    }
    CeSafeCopyMemory(modemStatus, &word, sizeof(word));
}

// Breaks are not carried across: the partner sees no break and no EV_BREAK.
void VirtualSetBreak(VirtualPort* /*port*/) {}
void VirtualClearBreak(VirtualPort* /*port*/) {}

BOOL VirtualXmitComChar(VirtualPort* port, BYTE character) {
    PartnerRef partner;
    if (!AcquirePartner(port, &partner)) {
        return TRUE;  // no partner: the character is lost, as on an unplugged line
    }
    if (partner.port != nullptr && PortIsOpen(partner.state) && partner.port->receiving.load()) {
        PostImmediate(partner.state, partner.port, character);
    }
    ReleasePartner(&partner);
    return TRUE;
}

DWORD VirtualGetStatus(VirtualPort* port, COMSTAT* status) {
    constexpr DWORD kStatusFault = 0xFFFFFFFF;
    if (status == nullptr) {
        return kStatusFault;
    }
    COMSTAT report{};
    report.fCtsHold = port->ctsHold.load() != 0 ? 1 : 0;
    report.fDsrHold = port->dsrHold.load() != 0 ? 1 : 0;
    if (!CeSafeCopyMemory(status, &report, sizeof(report))) {
        return kStatusFault;
    }
    // The only line error a virtual port records: delivered bytes lost to a full ring. Reported once.
    const BYTE line = port->lineStatus.fetch_and(static_cast<BYTE>(~kLineOverrun));
    return (line & kLineOverrun) != 0 ? CE_RXOVER : 0;
}

// The status block a UART reset would clear is rebuilt by every GetStatus; nothing is left to reset.
void VirtualReset(VirtualPort* /*port*/) {}

// A purge never drops a report another thread waits for: a transmit or modem report left out would leave a
// write (or a write held by flow control) waiting for ever. A receive purge throws away what the FIFO and
// the immediate ring hold, which lets their writer go on as if the bytes were sent; any other purge keeps
// received bytes and their report, so no byte is lost and no writer is left waiting.
void VirtualPurgeComm(VirtualPort* port, DWORD flags) {
    LockGuard reg(port->registerLock);
    ReleaseTakenDelivery(port);
    if ((flags & PURGE_RXCLEAR) == 0) {
        return;
    }
    DiscardReceived(port);
    port->pendingSources.fetch_and(static_cast<BYTE>(~kSourceReceive));
    port->lineStatus.fetch_and(static_cast<BYTE>(~kLineDataReady));
    // A delivery that came in after the discard keeps its report.
    if (HasReceivedBytes(port)) {
        port->lineStatus.fetch_or(kLineDataReady);
        port->pendingSources.fetch_or(kSourceReceive);
    }
}
