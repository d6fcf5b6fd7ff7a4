// The serial core's receive, transmit and event routines shared by the dispatch thread, the stream calls and
// the I/O controls.
#pragma once

#include <windows.h>

#include "core/port_state.h"

// Bytes held in the receive ring now.
DWORD RingFill(PortState* state);
// The core's receive flow control after a read took bytes out: XON when the ring has room again, DTR/RTS
// raised again in handshake mode when it is less than half full.
void ReleaseReceiveFlow(PortState* state);
// Empties the ring (contents zeroed, indices equal) under RxLock.
void EmptyReceiveRing(PortState* state);
// Has a service pass run a receive step whatever the layer reports: data left waiting by a full ring.
void RequestReceivePass(PortState* state);
// Ends every read pending on the port now (PURGE_RXABORT, process exit), also one about to wait.
void AbortReads(PortState* state);

// The dispatch thread's part of a write: let the writer hand over its next piece, hold it while XOFF holds
// the line, or complete the write when nothing is left.
void TransmitStep(PortState* state);
// Asks the dispatch thread for a service pass that ends with a TransmitStep: how a held write learns that
// it may go on (an XON sent or set by hand, a purge), after what arrived has been taken in.
void RequestTransmitPass(PortState* state);

// Waits for an event in the handle's mask; the result of IOCTL_SERIAL_WAIT_ON_MASK.
BOOL WaitForCommEvents(OpenContext* context, DWORD* result);

// IOCTL_SERIAL_SET_DCB: the layer checks and stores the settings, then the lines follow the new control
// modes.
BOOL ApplyDcb(PortState* state, const DCB& dcb);
