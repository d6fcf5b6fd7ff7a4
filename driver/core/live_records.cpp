// Registry of live records behind the handles the driver hands out.
#include "core/live_records.h"

#include <new>
#include <unordered_set>

#include "core/port_state.h"

namespace {

// A function-local object rather than a leaked one: the module is unloaded and loaded again, and every load
// starts with an empty set. No instance outlives the module, so nothing uses the set during its destruction.
struct LiveRecords {
    LiveRecords() { InitRankedLock(&lock, kRankLeaf, "LiveRecords"); }
    ~LiveRecords() { DeleteRankedLock(&lock); }
    RankedLock lock;                           // leaf: held only to look up, insert or erase
    std::unordered_set<const void*> states;    // lock
    std::unordered_set<const void*> contexts;  // lock
};

LiveRecords& Records() {
    static LiveRecords records;
    return records;
}

bool Register(std::unordered_set<const void*>& set, const void* record) {
    try {
        LockGuard guard(Records().lock);
        set.insert(record);
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}

// The record with a reference added, if the set holds it.
template <class Record>
Record* Reference(std::unordered_set<const void*>& set, DWORD_PTR handle, void (*addRef)(Record*)) {
    auto* record = reinterpret_cast<Record*>(handle);
    LockGuard guard(Records().lock);
    if (handle == 0 || set.count(record) == 0) {
        return nullptr;
    }
    addRef(record);
    return record;
}

}  // namespace

bool RegisterPortState(PortState* state) {
    return Register(Records().states, state);
}

bool RegisterOpenContext(OpenContext* context) {
    return Register(Records().contexts, context);
}

void UnregisterOpenContext(OpenContext* context) {
    LockGuard guard(Records().lock);
    Records().contexts.erase(context);
}

PortState* ReferencePortState(DWORD_PTR handle) {
    return Reference(Records().states, handle, AddRefPortState);
}

OpenContext* ReferenceOpenContext(DWORD_PTR handle) {
    return Reference(Records().contexts, handle, AddRefOpenContext);
}

PortState* TakePortState(DWORD_PTR handle) {
    auto* state = reinterpret_cast<PortState*>(handle);
    LockGuard guard(Records().lock);
    if (handle == 0 || Records().states.erase(state) == 0) {
        return nullptr;
    }
    return state;
}
