// Line settings and time-outs of a virtual port, and the layer's one private control code. A virtual port
// accepts what a 16550 on a 115200 Hz clock could do; while the port is closed it accepts anything, and
// the next open checks again without acting on the answers.
#include <windows.h>
#include <pkfuncs.h>

#include "core/port_core.h"
#include "virtual/virtual_port.h"

namespace {

constexpr BYTE kMinByteSize = 5;
constexpr BYTE kMaxByteSize = 8;
constexpr BYTE kMaxParity = SPACEPARITY;
constexpr BYTE kMaxStopBits = TWOSTOPBITS;
constexpr DWORD kDivisorMask = 0xFFFF;  // the 16550's divisor latch is 16 bits wide

}  // namespace

// Searched in this order for an exact match. From 300 baud up the divisor is 115200 / rate (rounded for
// 2000 baud); the slow rates keep the divisors of the hardware tables they come from.
const BaudRateEntry kBaudTable[kBaudTableEntries] = {
    {50, 2307}, {75, 1538}, {110, 1049}, {135, 858}, {150, 769}, {300, 384}, {600, 192},  {1200, 96},
    {1800, 64}, {2000, 58}, {2400, 48},  {3600, 32}, {4800, 24}, {7200, 16}, {9600, 12},  {12800, 9},
    {14400, 8}, {19200, 6}, {23040, 5},  {28800, 4}, {38400, 3}, {57600, 2}, {115200, 1},
};

DWORD ReceiveFilterOf(const DCB& dcb) {
    DWORD filter = static_cast<DWORD>(static_cast<BYTE>(dcb.EvtChar)) << kFilterEvtCharShift |
                   static_cast<DWORD>(static_cast<BYTE>(dcb.XonChar)) << kFilterXonShift |
                   static_cast<DWORD>(static_cast<BYTE>(dcb.XoffChar)) << kFilterXoffShift;
    if (dcb.fOutX || dcb.fInX) {
        filter |= kFilterXFlow;
    }
    if (dcb.fNull) {
        filter |= kFilterNull;
    }
    if (dcb.fDsrSensitivity) {
        filter |= kFilterDsrSensitive;
    }
    return filter;
}

// An accepted rate is stored at once, even when a later check refuses the rest of the settings.
BOOL CheckBaudRate(VirtualPort* port, DWORD rate) {
    LockGuard reg(port->registerLock);
    for (DWORD i = 0; i < kBaudTableEntries; ++i) {
        const BaudRateEntry& entry = port->baudTable[i];
        if (entry.rate == rate && (entry.divisor & kDivisorMask) != 0) {
            port->dcb.BaudRate = rate;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CheckByteSize(VirtualPort* port, BYTE byteSize) {
    LockGuard reg(port->registerLock);
    return byteSize >= kMinByteSize && byteSize <= kMaxByteSize ? TRUE : FALSE;
}

BOOL CheckParity(VirtualPort* port, BYTE parity) {
    LockGuard reg(port->registerLock);
    return parity <= kMaxParity ? TRUE : FALSE;
}

BOOL CheckStopBits(VirtualPort* port, BYTE stopBits) {
    LockGuard reg(port->registerLock);
    return stopBits <= kMaxStopBits ? TRUE : FALSE;
}

// Only a handle opened for reading or writing counts: the manager's own query handle has access 0.
DWORD IsPortInUse(PortState* state) {
    return state != nullptr && PortHasDataOwner(state) ? 1 : 0;
}

BOOL VirtualSetDcb(VirtualPort* port, const DCB* dcb) {
    DCB next;
    if (dcb == nullptr || !CeSafeCopyMemory(&next, dcb, sizeof(next))) {
        return FALSE;
    }
    LockGuard reg(port->registerLock);
    if (port->openCount.load() != 0) {
        if (next.BaudRate != port->dcb.BaudRate && !CheckBaudRate(port, next.BaudRate)) {
            return FALSE;
        }
        if (next.ByteSize != port->dcb.ByteSize && !CheckByteSize(port, next.ByteSize)) {
            return FALSE;
        }
        if (next.Parity != port->dcb.Parity && !CheckParity(port, next.Parity)) {
            return FALSE;
        }
        if (next.StopBits != port->dcb.StopBits && !CheckStopBits(port, next.StopBits)) {
            return FALSE;
        }
    }
    port->dcb = next;
    port->receiveFilter.store(ReceiveFilterOf(next));
    // A write held by output flow control that is now off goes on.
    EndHolds(port, !next.fOutxCtsFlow, !next.fOutxDsrFlow);
    return TRUE;
}

// Stored only: the core applies its own copy to reads and writes.
DWORD VirtualSetCommTimeouts(VirtualPort* port, const COMMTIMEOUTS* timeouts) {
    COMMTIMEOUTS next;
    if (timeouts != nullptr && CeSafeCopyMemory(&next, timeouts, sizeof(next))) {
        LockGuard reg(port->registerLock);
        port->timeouts = next;
    }
    return 0;
}

// The open-state query answers in the bytes-returned word; the buffers are not looked at.
BOOL VirtualIoctl(VirtualPort* port, DWORD code, BYTE* /*in*/, DWORD /*inLength*/, BYTE* /*out*/,
                  DWORD /*outLength*/, DWORD* returned) {
    if (code != kIoctlPortOpenState) {
        return FALSE;
    }
    const DWORD inUse = IsPortInUse(port->ownerState);
    if (returned == nullptr || !CeSafeCopyMemory(returned, &inUse, sizeof(inUse))) {
        return FALSE;
    }
    return TRUE;
}
