// What the virtual port layer may use of the serial core. The layer holds a port's instance only as an opaque
// PortState and reaches it through these routines, as the core reaches the layer only through the operations
// table of port_ops.h. Each may be called from any thread, the partner's included, and none waits.
#pragma once

#include <windows.h>

struct PortState;

constexpr DWORD kPortTableSlots = 20;  // valid DeviceArrayIndex values are 0..19

// References: whoever found a port through the port table holds one while using it. The last release frees
// the instance and runs the layer's Deinit, which takes that port's layer locks: release holding none.
void AddRefPortState(PortState* state);
void ReleasePortState(PortState* state);

// Whether any handle has the port open; whether an application holds it for reading or writing.
bool PortIsOpen(const PortState* state);
bool PortHasDataOwner(PortState* state);
// Whether a handle of the port waits for any of these EV_ events.
bool PortWatchesEvents(const PortState* state, DWORD events);

// Asks for a service pass on the port's dispatch thread (the layer marked a report).
void WakePortService(PortState* state);
// Has a write held on the port look again (a hold ended, or the write cannot go on).
void WakePortWriter(PortState* state);
// Runs a service pass on the calling thread when none runs and the port is served at all, otherwise wakes
// the dispatch thread. For a thread holding no lock but its own port's TransmitLock or ReceiveLock.
void ServePortOrWake(PortState* state);

// Records communication events (EV_ bits) on every handle waiting for any of them and wakes the waiters.
// Never waits for OpenLock. Leaves the last error alone.
void SignalCommEvents(PortState* state, DWORD events);
// Whether the write in progress must stop waiting: aborted, its handle or the port closed, or its time up.
// For the layer, which may keep a writer waiting for its partner; takes TxLock, so call it holding none of
// the layer's locks.
bool WriteMustEnd(PortState* state);
