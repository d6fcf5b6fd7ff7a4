// The one table of port operations every virtual port shares, and the small per-instance record that
// carries it to the core.
#include <windows.h>

#include "core/port_ops.h"
#include "virtual/virtual_port.h"

namespace {

constexpr PortOps kVirtualPortOps = {
    .Init = VirtualInit,
    .PostInit = VirtualPostInit,
    .Deinit = VirtualDeinit,
    .Open = VirtualOpen,
    .Close = VirtualClose,
    .GetInterruptType = VirtualGetInterruptType,
    .RxIntr = VirtualRxIntr,
    .TxIntr = VirtualTxIntr,
    .ModemIntr = VirtualModemIntr,
    .LineIntr = VirtualLineIntr,
    .GetRxBufferSize = VirtualGetRxBufferSize,
    .PowerOff = VirtualPowerOff,
    .PowerOn = VirtualPowerOn,
    .ClearDTR = VirtualClearDtr,
    .SetDTR = VirtualSetDtr,
    .ClearRTS = VirtualClearRts,
    .SetRTS = VirtualSetRts,
    .EnableIR = VirtualEnableIr,
    .DisableIR = VirtualDisableIr,
    .ClearBreak = VirtualClearBreak,
    .SetBreak = VirtualSetBreak,
    .XmitComChar = VirtualXmitComChar,
    .GetStatus = VirtualGetStatus,
    .Reset = VirtualReset,
    .GetModemStatus = VirtualGetModemStatus,
    .GetCommProperties = VirtualGetCommProperties,
    .PurgeComm = VirtualPurgeComm,
    .SetDCB = VirtualSetDcb,
    .SetCommTimeouts = VirtualSetCommTimeouts,
    .Ioctl = VirtualIoctl,
};

}  // namespace

PortOpsObject* CreatePortOpsObject(DWORD /*deviceArrayIndex*/) {
    auto* object = static_cast<PortOpsObject*>(LocalAlloc(LPTR, sizeof(PortOpsObject)));
    if (object == nullptr) {
        return nullptr;
    }
    object->bindFlags = kBindOwnDispatchThread;
    object->interruptId = 0;
    object->ops = &kVirtualPortOps;
    return object;
}

void ReleasePortOpsObject(PortOpsObject* opsObject) {
    if (opsObject != nullptr) {
        LocalFree(opsObject);
    }
}
