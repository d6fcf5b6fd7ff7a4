// A port instance from its creation by COM_Init to its retirement by COM_Deinit.
#include "core/layer_calls.h"
#include "core/instance.h"

#include "core/live_records.h"
#include "core/open_close.h"
#include "core/trace.h"
#include "virtual/port_table.h"

const PortLayer kVirtualPortLayer = {CreatePortOpsObject, ReleasePortOpsObject};

namespace {

// Timeouts a new instance starts with, in milliseconds; IOCTL_SERIAL_SET_TIMEOUTS changes them for the life
// of the instance.
constexpr COMMTIMEOUTS kInitialTimeouts = {
    .ReadIntervalTimeout = 250,
    .ReadTotalTimeoutMultiplier = 10,
    .ReadTotalTimeoutConstant = 100,
    .WriteTotalTimeoutMultiplier = 0,
    .WriteTotalTimeoutConstant = 0,
};

constexpr DWORD kHighestPriority256 = 255;

struct DeviceConfig {
    DWORD deviceArrayIndex = 0;
    DWORD priority256 = kDefaultPriority256;
    DWORD trace = 0;
};

// The instance's own values from its device key. An index outside the port table fails the instance before
// it touches any slot; a priority outside the 256 levels counts as unset.
bool ReadDeviceConfig(LPCWSTR activeKey, DeviceConfig* config) {
    if (activeKey == nullptr) {
        return false;
    }
    HKEY key = OpenDeviceKey(activeKey);
    if (key == nullptr) {
        return false;
    }
    const bool haveIndex = ReadDeviceKeyDword(key, u"DeviceArrayIndex", &config->deviceArrayIndex) &&
                           config->deviceArrayIndex < kPortTableSlots;
    if (haveIndex && (!ReadDeviceKeyDword(key, u"Priority256", &config->priority256) ||
                      config->priority256 > kHighestPriority256)) {
        config->priority256 = kDefaultPriority256;
    }
    ReadDeviceKeyDword(key, u"Trace", &config->trace);
    RegCloseKey(key);
    return haveIndex;
}

bool CreatePortEvents(PortState* state) {
    HANDLE* const events[] = {&state->SerialEvent, &state->ThreadExitEvent, &state->TransmitEvent,
                              &state->ReadEvent};
    for (HANDLE* event : events) {
        *event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (*event == nullptr) {
            return false;
        }
    }
    return true;
}

void InitPart(PortState* state, PortPart part, RankedLock* lock, LockRank rank, const char* name) {
    InitRankedLock(lock, rank, name);
    state->InitializedParts |= part;
}

// Twice what the layer asks for, never less than the core's own minimum.
DWORD RxRingBytes(PortState* state) {
    const DWORD wish = LayerGetRxBufferSize(state);
    return wish > kMinRxRingBytes / 2 ? wish * 2 : kMinRxRingBytes;
}

// Takes the instance out of reach and lets go of its own reference; whoever uses it last frees it.
void RetireInstance(PortState* state) {
    EmptyPortSlot(state->DeviceArrayIndex, state);
    {
        LockGuard open(state->OpenLock);
        state->Retired.store(1);
    }
    if (OwnsDispatchThread(state)) {
        StopDispatchThread(state);
    }
    CloseAllHandles(state);
    ReleasePortState(state);
}

// Everything that follows Init; on failure the instance is retired as COM_Deinit would.
bool CompleteInstance(PortState* state) {
    state->RxLength = RxRingBytes(state);
    state->RxBuffer = static_cast<BYTE*>(LocalAlloc(LPTR, state->RxLength));
    if (state->RxBuffer == nullptr) {
        return false;
    }
    state->RxRead.store(0);
    state->RxWrite.store(0);
    InitPart(state, kPartRxLock, &state->RxLock, kRankRx, "RxLock");
    InitPart(state, kPartTxLock, &state->TxLock, kRankTx, "TxLock");
    InitPart(state, kPartFlowLock, &state->FlowLock, kRankFlow, "FlowLock");
    if (OwnsDispatchThread(state) && !StartDispatchThread(state)) {
        return false;
    }
    LayerPostInit(state);
    return RegisterPortState(state);
}

}  // namespace

PortState* CreateInstance(LPCWSTR activeKey, const PortLayer& layer) {
    PortState* state = AllocatePortState();
    if (state == nullptr) {
        return nullptr;
    }
    InitPart(state, kPartOpenLock, &state->OpenLock, kRankOpen, "OpenLock");
    InitPart(state, kPartListLock, &state->ListLock, kRankList, "ListLock");
    InitPart(state, kPartSettingsLock, &state->SettingsLock, kRankLeaf, "SettingsLock");
    state->Timeouts = kInitialTimeouts;
    DeviceConfig config;
    if (!CreatePortEvents(state) || !ReadDeviceConfig(activeKey, &config)) {
        ReleasePortState(state);
        return nullptr;
    }
    InitPart(state, kPartReceiveLock, &state->ReceiveLock, kRankReceive, "ReceiveLock");
    InitPart(state, kPartTransmitLock, &state->TransmitLock, kRankTransmit, "TransmitLock");
    state->DeviceArrayIndex = config.deviceArrayIndex;
    state->Priority256 = config.priority256;
    state->TraceControlCodes = config.trace != 0 || TraceEnabledByEnvironment();
    state->Ops = layer.CreateOps(config.deviceArrayIndex);
    state->ReleaseOps = layer.ReleaseOps;
    if (FirstInstancePending()) {
        ResetPortSlots();
    }
    // In the table before Init: the layer's Init enters its VirtualPort beside this slot.
    FillPortSlot(config.deviceArrayIndex, state);
    if (state->Ops == nullptr) {
        RetireInstance(state);
        return nullptr;
    }
    state->Port = LayerInit(state, activeKey);
    if (state->Port == nullptr || !CompleteInstance(state)) {
        RetireInstance(state);
        return nullptr;
    }
    ClearFirstInstancePending();
    return state;
}

BOOL DestroyInstance(DWORD_PTR device) {
    PortState* state = TakePortState(device);
    if (state == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    RetireInstance(state);
    return TRUE;
}
