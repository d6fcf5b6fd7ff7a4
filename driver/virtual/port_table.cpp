// The driver-wide table of ports and partners. Every thread of every port reads it, instances come and go
// under it, so all of it sits behind one short leaf lock; a partner found here is handed out with
// references taken under that lock, which is what keeps it alive after its slot is emptied.
#include "virtual/port_table.h"

#include <atomic>

#include "core/lock_order.h"
#include "core/port_core.h"
#include "virtual/virtual_port.h"

namespace {

constexpr LONG kNoPartner = -1;

// Constant-initialised and trivially destructible: the module may be unloaded and loaded again, and each
// load must start from a table with nothing in it and the first instance pending.
struct PortTableData {
    RankedLock lock;
    PortState* ports[kNoPortIndex + 1];  // slot kNoPortIndex always empty
    VirtualPort* portObjects[kNoPortIndex];
    LONG partners[kNoPortIndex];
    std::atomic<bool> firstInstanceDone;
};

PortTableData g_table;

PortTableData& Table() {
    static const bool ready = [] {
        InitRankedLock(&g_table.lock, kRankLeaf, "PortTable");
        return true;
    }();
    (void)ready;
    return g_table;
}

bool ValidIndex(DWORD index) {
    return index < kNoPortIndex;
}

// Callers hold the table lock.
void EmptySlotsLocked(PortTableData& table) {
    for (auto& slot : table.ports) {
        slot = nullptr;
    }
    for (auto& object : table.portObjects) {
        object = nullptr;
    }
}

void ResetPartnersLocked(PortTableData& table) {
    for (auto& partner : table.partners) {
        partner = kNoPartner;
    }
}

// Callers hold the table lock.
DWORD OwnIndexLocked(const PortTableData& table, VirtualPort* port) {
    if (port == nullptr) {
        return kNoPortIndex;
    }
    for (DWORD i = 0; i < kNoPortIndex; ++i) {
        if (table.ports[i] != nullptr && table.portObjects[i] == port) {
            return i;
        }
    }
    return kNoPortIndex;
}

DWORD PartnerIndexLocked(const PortTableData& table, DWORD index) {
    if (!ValidIndex(index)) {
        return kNoPortIndex;
    }
    const LONG partner = table.partners[index];
    // Only the manager's values 0..19 name a partner; -1 and anything else mean none.
    return partner >= 0 && static_cast<DWORD>(partner) < kNoPortIndex ? static_cast<DWORD>(partner)
                                                                      : kNoPortIndex;
}

}  // namespace

bool FirstInstancePending() {
    return !Table().firstInstanceDone.load();
}

void ClearFirstInstancePending() {
    Table().firstInstanceDone.store(true);
}

void ResetPortSlots() {
    PortTableData& table = Table();
    LockGuard guard(table.lock);
    EmptySlotsLocked(table);
}

void FillPortSlot(DWORD index, PortState* state) {
    if (!ValidIndex(index)) {
        return;
    }
    PortTableData& table = Table();
    LockGuard guard(table.lock);
    table.ports[index] = state;
    // A new instance has no VirtualPort until its Init registers one.
    table.portObjects[index] = nullptr;
}

void EmptyPortSlot(DWORD index, PortState* state) {
    if (!ValidIndex(index)) {
        return;
    }
    PortTableData& table = Table();
    LockGuard guard(table.lock);
    if (table.ports[index] == state) {
        table.ports[index] = nullptr;
        table.portObjects[index] = nullptr;
    }
}

void ResetPartners() {
    PortTableData& table = Table();
    LockGuard guard(table.lock);
    ResetPartnersLocked(table);
}

void SetPartnerIndex(DWORD index, LONG partner) {
    if (!ValidIndex(index)) {
        return;
    }
    PortTableData& table = Table();
    LockGuard guard(table.lock);
    table.partners[index] = partner;
}

void RegisterPortObject(DWORD index, PortState* state, VirtualPort* port) {
    if (!ValidIndex(index)) {
        return;
    }
    PortTableData& table = Table();
    LockGuard guard(table.lock);
    if (state != nullptr && table.ports[index] == state) {
        table.portObjects[index] = port;
    }
}

void UnregisterPortObject(VirtualPort* port) {
    PortTableData& table = Table();
    LockGuard guard(table.lock);
    for (auto& object : table.portObjects) {
        if (object == port) {
            object = nullptr;
        }
    }
}

void ResetPortTable() {
    PortTableData& table = Table();
    {
        LockGuard guard(table.lock);
        EmptySlotsLocked(table);
        ResetPartnersLocked(table);
    }
    table.firstInstanceDone.store(false);
}

DWORD FindOwnIndex(VirtualPort* port) {
    PortTableData& table = Table();
    LockGuard guard(table.lock);
    return OwnIndexLocked(table, port);
}

DWORD PartnerIndexOf(DWORD index) {
    PortTableData& table = Table();
    LockGuard guard(table.lock);
    return PartnerIndexLocked(table, index);
}

bool AcquirePartner(VirtualPort* self, PartnerRef* partner) {
    if (partner == nullptr) {
        return false;
    }
    *partner = PartnerRef{};
    PortTableData& table = Table();
    LockGuard guard(table.lock);
    const DWORD index = PartnerIndexLocked(table, OwnIndexLocked(table, self));
    if (index == kNoPortIndex || table.ports[index] == nullptr) {
        return false;
    }
    // Slots are emptied before an instance drops its own reference, so whatever a slot holds is alive here.
    partner->state = table.ports[index];
    AddRefPortState(partner->state);
    partner->port = table.portObjects[index];
    if (partner->port != nullptr) {
        AddRefVirtualPort(partner->port);
    }
    return true;
}

void ReleasePartner(PartnerRef* partner) {
    if (partner == nullptr) {
        return;
    }
    if (partner->port != nullptr) {
        ReleaseVirtualPort(partner->port);
    }
    if (partner->state != nullptr) {
        ReleasePortState(partner->state);
    }
    *partner = PartnerRef{};
}
