// The driver-wide table of ports and partners: slot i holds the instance whose DeviceArrayIndex is i and
// the index of its partner. A partner found here is used under a reference, so a port going away
// meanwhile is never freed under the thread that found it.
#pragma once

#include <windows.h>

struct PortState;
struct VirtualPort;

constexpr DWORD kNoPortIndex = 20;  // stands for "no port"

// Set when the library is loaded; cleared by the first COM_Init that succeeds.
bool FirstInstancePending();
void ClearFirstInstancePending();

// Empties all port slots (the first instance after loading does this).
void ResetPortSlots();
// Fills or empties the slot of an index 0..19. EmptyPortSlot empties it only when it still holds `state`.
void FillPortSlot(DWORD index, PortState* state);
void EmptyPortSlot(DWORD index, PortState* state);

// Partner entries: -1 (none) or 0..19; values outside 0..19 count as none.
void ResetPartners();
void SetPartnerIndex(DWORD index, LONG partner);

// The layer's Init enters the instance's VirtualPort beside its PortState (only while the slot holds that
// PortState); from then on the partner finds it. Deinit takes it out again wherever it is.
void RegisterPortObject(DWORD index, PortState* state, VirtualPort* port);
void UnregisterPortObject(VirtualPort* port);

// The state of a freshly loaded module: every slot empty, every partner none, first instance pending.
void ResetPortTable();

// 0..19, or kNoPortIndex when no slot's PortState has this VirtualPort as its Port.
DWORD FindOwnIndex(VirtualPort* port);
// The partner's index, or kNoPortIndex for none (and for kNoPortIndex).
DWORD PartnerIndexOf(DWORD index);

// The partner of a port, with references held on its PortState and its VirtualPort (when it has one yet),
// taken under the table's lock so the partner cannot be freed meanwhile. Answers false when there is none.
// Every successful call is matched by ReleasePartner.
struct PartnerRef {
    PortState* state = nullptr;
    VirtualPort* port = nullptr;
};
bool AcquirePartner(VirtualPort* self, PartnerRef* partner);
void ReleasePartner(PartnerRef* partner);
