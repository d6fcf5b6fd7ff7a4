#include "driver/core/fake_layer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/port_state.h"

namespace fake {
namespace {

// What the core holds as its VirtualPort; the core never looks inside.
struct FakePort {
    PortState* state;
    PortOpsObject* opsObject;
};

FakePort* Fake(VirtualPort* port) {
    return reinterpret_cast<FakePort*>(port);
}

void Note(const std::string& call) {
    std::lock_guard<std::mutex> guard(Recorded().lock);
    Recorded().log.push_back(call);
}

void Gate(const std::atomic<HANDLE>& gate) {
    HANDLE event = gate.load();
    if (event != nullptr) {
        WaitForSingleObject(event, INFINITE);
    }
}

VirtualPort* Init(LPCWSTR, PortState* state, PortOpsObject* opsObject) {
    Note("Init");
    if (Behave().initFails.load()) {
        return nullptr;
    }
    return reinterpret_cast<VirtualPort*>(new FakePort{state, opsObject});
}

DWORD Deinit(VirtualPort* port) {
    Note(port == nullptr ? "Deinit(null)" : "Deinit");
    if (port == nullptr) {
        return 0;
    }
    delete Fake(port)->opsObject;
    delete Fake(port);
    return 1;
}

DWORD GetInterruptType(VirtualPort*) {
    if (Behave().interruptGate.load() != nullptr) {
        Note("GetInterruptType(gated)");
        Gate(Behave().interruptGate);
    }
    std::lock_guard<std::mutex> guard(Recorded().lock);
    std::vector<DWORD>& pending = Behave().interrupts;
    if (pending.empty()) {
        return kInterruptNone;
    }
    const DWORD mask = pending.front();
    pending.erase(pending.begin());
    return mask;
}

DWORD RxIntr(VirtualPort* port, BYTE* target, DWORD* count, RxInto /*into*/) {
    Note("RxIntr(" + std::to_string(*count) + ")");
    OpenContext* owner = Fake(port)->state->AccessOwner.load();
    Behave().ownerCallsInPass.store(owner != nullptr ? owner->ActiveCalls.load() : -1);
    const DWORD stored = std::min(*count, Behave().rxBytesPerCall.load());
    std::memset(target, 'x', stored);
    *count = stored;
    return 0;
}

BOOL Ioctl(VirtualPort*, DWORD code, BYTE*, DWORD, BYTE*, DWORD, DWORD* returned) {
    Note("Ioctl");
    Gate(Behave().ioctlGate);
    if (returned != nullptr) {
        *returned = 1;
    }
    return code == kIoctlPortOpenState;
}

// A slot that only records that it was called.
#define RECORDED(name, result) \
    [](auto...) -> result {    \
        Note(name);            \
        return result();       \
    }

const PortOps kOps = {
    .Init = Init,
    .PostInit = RECORDED("PostInit", DWORD),
    .Deinit = Deinit,
    .Open = [](VirtualPort*) -> DWORD {
        Note("Open");
        return Behave().openResult.load();
    },
    .Close = RECORDED("Close", DWORD),
    .GetInterruptType = GetInterruptType,
    .RxIntr = RxIntr,
    .TxIntr = RECORDED("TxIntr", void),
    .ModemIntr = RECORDED("ModemIntr", void),
    .LineIntr = RECORDED("LineIntr", void),
    .GetRxBufferSize = [](VirtualPort*) -> DWORD { return 0; },
    .PowerOff = [](VirtualPort*) -> BOOL {
        Note("PowerOff");
        return Behave().powerResult.load();
    },
    .PowerOn = [](VirtualPort*) -> BOOL {
        Note("PowerOn");
        return Behave().powerResult.load();
    },
    .ClearDTR = RECORDED("ClearDTR", void),
    .SetDTR = RECORDED("SetDTR", void),
    .ClearRTS = RECORDED("ClearRTS", void),
    .SetRTS = RECORDED("SetRTS", void),
    .EnableIR = RECORDED("EnableIR", BOOL),
    .DisableIR = RECORDED("DisableIR", BOOL),
    .ClearBreak = RECORDED("ClearBreak", void),
    .SetBreak = RECORDED("SetBreak", void),
    .XmitComChar = RECORDED("XmitComChar", BOOL),
    .GetStatus = RECORDED("GetStatus", DWORD),
    .Reset = RECORDED("Reset", void),
    .GetModemStatus = RECORDED("GetModemStatus", void),
    .GetCommProperties = RECORDED("GetCommProperties", void),
    .PurgeComm = [](VirtualPort*, DWORD flags) { Note("PurgeComm(" + std::to_string(flags) + ")"); },
    .SetDCB = [](VirtualPort*, const DCB* dcb) -> BOOL {
        Note("SetDCB(" + std::to_string(dcb->BaudRate) + ")");
        return TRUE;
    },
    .SetCommTimeouts = RECORDED("SetCommTimeouts", DWORD),
    .Ioctl = Ioctl,
};

#undef RECORDED

PortOpsObject* CreateOps(DWORD) {
    return new PortOpsObject{kBindOwnDispatchThread, 0, &kOps};
}

void ReleaseOps(PortOpsObject* object) {
    Note("ReleaseOps");
    delete object;
}

}  // namespace

const PortLayer kLayer = {CreateOps, ReleaseOps};

Behaviour& Behave() {
    static Behaviour behaviour;
    return behaviour;
}

Calls& Recorded() {
    static Calls calls;
    return calls;
}

std::vector<std::string> TakeLog() {
    std::lock_guard<std::mutex> guard(Recorded().lock);
    return std::exchange(Recorded().log, {});
}

int Count(const std::string& call) {
    std::lock_guard<std::mutex> guard(Recorded().lock);
    return static_cast<int>(std::count(Recorded().log.begin(), Recorded().log.end(), call));
}

void Reset() {
    Behaviour& b = Behave();
    b.initFails = false;
    b.openResult = TRUE;
    b.powerResult = TRUE;
    b.rxBytesPerCall = 0;
    b.interruptGate = nullptr;
    b.ioctlGate = nullptr;
    b.ownerCallsInPass = -1;
    std::lock_guard<std::mutex> guard(Recorded().lock);
    b.interrupts.clear();
    Recorded().log.clear();
}

}  // namespace fake
