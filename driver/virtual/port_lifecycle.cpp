// A virtual port's life: creation from the registry, open and close, the end of its logical life in Deinit
// and the end of its memory with the last reference; and the operations that only report fixed properties.
#include <new>

#include <windows.h>
#include <pkfuncs.h>

#include "core/port_core.h"
#include "virtual/port_table.h"
#include "virtual/virtual_port.h"

namespace {

constexpr DWORD kKeyPathBytes = 256;  // the "Key" value: 127 characters and the NUL
constexpr DWORD kKeyPathChars = kKeyPathBytes / sizeof(WCHAR);
constexpr WORD kPacketSizeUnknown = 0xFFFF;
constexpr DWORD kPortQueueBytes = 16;

// What the port claims to be: an RS-232 port with the 16550's rates and options.
void FillCommProp(COMMPROP* prop) {
    *prop = COMMPROP{};
    prop->wPacketLength = kPacketSizeUnknown;
    prop->wPacketVersion = kPacketSizeUnknown;
    prop->dwServiceMask = SP_SERIALCOMM;
    prop->dwMaxTxQueue = kPortQueueBytes;
    prop->dwMaxRxQueue = kPortQueueBytes;
    prop->dwMaxBaud = BAUD_115200;
    prop->dwProvSubType = PST_RS232;
    prop->dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                               PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS | PCF_SPECIALCHARS;
    prop->dwSettableParams =
        SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_PARITY_CHECK | SP_RLSD;
    prop->dwSettableBaud = BAUD_075 | BAUD_110 | BAUD_150 | BAUD_300 | BAUD_600 | BAUD_1200 | BAUD_1800 |
                           BAUD_2400 | BAUD_4800 | BAUD_7200 | BAUD_9600 | BAUD_14400 | BAUD_19200 |
                           BAUD_38400 | BAUD_56K | BAUD_128K | BAUD_115200 | BAUD_57600 | BAUD_USER;
    prop->wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
    prop->wSettableStopParity =
        STOPBITS_10 | STOPBITS_20 | PARITY_NONE | PARITY_ODD | PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
}

// The instance's values: its index, and its partner into the port table. A missing DeviceArrayIndex reads
// as 0 and a missing KMXPair leaves the entry as it was; an index the table has no slot for fails the port.
bool ReadPortConfig(VirtualPort* port, LPCWSTR activeKey) {
    HKEY key = OpenDeviceKey(activeKey);
    if (key == nullptr) {
        return false;
    }
    DWORD index = 0;
    ReadDeviceKeyDword(key, u"DeviceArrayIndex", &index);
    if (index >= kPortTableSlots) {
        RegCloseKey(key);
        return false;
    }
    port->deviceArrayIndex = index;
    if (FirstInstancePending()) {
        ResetPartners();
    }
    DWORD partner = 0;
    if (ReadDeviceKeyDword(key, u"KMXPair", &partner)) {
        SetPartnerIndex(index, static_cast<LONG>(partner));
    }
    RegCloseKey(key);
    return true;
}

// Frees what Init made; also for a port whose Init stopped half-way (events and locks it has are noted).
void DestroyPort(VirtualPort* port, bool locksReady) {
    if (port->rxConsumedEvent != nullptr) {
        CloseHandle(port->rxConsumedEvent);
    }
    if (port->flushEvent != nullptr) {
        CloseHandle(port->flushEvent);
    }
    if (locksReady) {
        DeleteRankedLock(&port->immediateLock);
        DeleteRankedLock(&port->registerLock);
        DeleteRankedLock(&port->transmitLock);
    }
    port->~VirtualPort();
    LocalFree(port);
}

}  // namespace

HKEY OpenDeviceKey(LPCWSTR activeKey) {
    if (activeKey == nullptr) {
        return nullptr;
    }
    HKEY active = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, activeKey, 0, KEY_ALL_ACCESS, &active) != ERROR_SUCCESS) {
        return nullptr;
    }
    WCHAR path[kKeyPathChars] = {};
    DWORD size = sizeof(path);
    const LONG read =
        RegQueryValueExW(active, u"Key", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(active);
    if (read != ERROR_SUCCESS) {
        return nullptr;
    }
    // A value stored without its NUL is accepted when there is room to end it; an empty one names no key.
    const DWORD chars = size / sizeof(WCHAR);
    if (chars == 0 || (path[chars - 1] != 0 && chars >= kKeyPathChars)) {
        return nullptr;
    }
    if (path[chars - 1] != 0) {
        path[chars] = 0;
    }
    if (path[0] == 0) {
        return nullptr;
    }
    HKEY device = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &device) != ERROR_SUCCESS) {
        return nullptr;
    }
    return device;
}

void AddRefVirtualPort(VirtualPort* port) {
    port->refs.fetch_add(1);
}

void ReleaseVirtualPort(VirtualPort* port) {
    if (port->refs.fetch_sub(1) == 1) {
        ReleasePortOpsObject(port->opsObject);
        DestroyPort(port, true);
    }
}

void ResetInterruptState(VirtualPort* port) {
    LockGuard reg(port->registerLock);
    EvaluateModemStatus(port);
    port->pendingSources.exchange(kSourceNone);
    port->lineStatus.exchange(kLineTransmitterEmpty);
}

namespace {

// The modem status a first open shows: the open partner's output lines as a null-modem cable carries them
// (its RTS as CTS, its DTR as DSR and DCD), or DSR and DCD on and CTS off while the partner is closed. The
// change bits are those of the closed case either way.
BYTE FirstOpenModemStatus(BYTE partnerOutputs) {
    BYTE status = kModemDsrChanged | kModemDcdChanged;
    if ((partnerOutputs & kOutputDtr) != 0) {
        status |= kModemDsr | kModemDcd;
    }
    if ((partnerOutputs & kOutputRts) != 0) {
        status |= kModemCts;
    }
    return status;
}

// Shows the partner's lines as they are now. The partner records a line change before it stores it in this
// port's status, so a change that lands between reading its lines and storing ours is read again here.
void TakePartnersLines(VirtualPort* port) {
    PartnerRef partner;
    const bool found = AcquirePartner(port, &partner);
    const bool partnerOpen =
        found && partner.port != nullptr && PortIsOpen(partner.state) && partner.port->isOpen.load();
    BYTE outputs = partnerOpen ? partner.port->outputLines.load() : kOutputsAtFirstOpen;
    for (;;) {
        port->modemStatus.exchange(FirstOpenModemStatus(outputs));
        const BYTE again = partnerOpen ? partner.port->outputLines.load() : kOutputsAtFirstOpen;
        if (again == outputs) {
            break;
        }
        outputs = again;
    }
    if (found) {
        ReleasePartner(&partner);
    }
}

}  // namespace

// Only the first of nested starts acts. The port's own output lines start as DTR on, RTS off, which is what
// a partner opening later is shown until this port drives them.
void StartPort(VirtualPort* port) {
    if (port->openCount.fetch_add(1) != 0) {
        return;
    }
    // rxConsumedEvent is left alone: a writer of an earlier open may not have woken to its end yet, and
    // each delivery resets the event itself before it waits.
    port->outputLines.store(kOutputsAtFirstOpen);
    TakePartnersLines(port);
    port->lineStatus.exchange(0);
    LockGuard reg(port->registerLock);
    port->ctsHold.store(0);
    port->dsrHold.store(0);
    // Settings accepted while closed are validated again; a port opens whatever the answers.
    const DCB dcb = port->dcb;
    CheckBaudRate(port, dcb.BaudRate);
    CheckByteSize(port, dcb.ByteSize);
    CheckStopBits(port, dcb.StopBits);
    CheckParity(port, dcb.Parity);
    ResetInterruptState(port);
    EvaluateModemStatus(port);
    // A write held by a line the partner already raised goes on.
    const BYTE lines = port->modemStatus.load();
    EndHolds(port, (lines & kModemCts) != 0, (lines & kModemDsr) != 0);
    // Only now, so that the reset above cannot wipe the marks of a delivery that arrives at once.
    port->openGeneration.fetch_add(1);
    port->receiving.store(true);
}

void StopPort(VirtualPort* port) {
    DWORD count = port->openCount.load();
    while (count != 0 && !port->openCount.compare_exchange_weak(count, count - 1)) {
    }
    if (count > 1) {
        return;
    }
    port->receiving.store(false);
    LockGuard reg(port->registerLock);
    AbandonDelivery(port);
}

VirtualPort* VirtualInit(LPCWSTR activeKey, PortState* state, PortOpsObject* opsObject) {
    void* memory = LocalAlloc(LPTR, sizeof(VirtualPort));
    if (memory == nullptr) {
        return nullptr;
    }
    auto* port = new (memory) VirtualPort{};
    if (!ReadPortConfig(port, activeKey)) {
        DestroyPort(port, false);
        return nullptr;
    }
    FillCommProp(&port->commProp);
    port->ownerState = state;
    port->eventCallback = SignalCommEvents;
    port->serviceCallback = ServePortOrWake;
    port->portState = state;
    port->baudTable = kBaudTable;
    // Both events live as long as the object, so a writer never waits on a closed handle.
    port->flushEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    port->rxConsumedEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (port->flushEvent == nullptr || port->rxConsumedEvent == nullptr) {
        DestroyPort(port, false);
        return nullptr;
    }
    InitRankedLock(&port->transmitLock, kRankVpTransmit, "VirtualPort::transmitLock");
    InitRankedLock(&port->registerLock, kRankVpRegister, "VirtualPort::registerLock");
    InitRankedLock(&port->immediateLock, kRankLeaf, "VirtualPort::immediateLock");
    port->opsObject = opsObject;
    port->refs.store(1);
    ResetInterruptState(port);
    RegisterPortObject(port->deviceArrayIndex, state, port);
    return port;
}

DWORD VirtualPostInit(VirtualPort* port) {
    ResetInterruptState(port);
    return 1;
}

DWORD VirtualDeinit(VirtualPort* port) {
    if (port == nullptr) {
        return 0;
    }
    // Out of the table first: no partner thread finds the port from here on.
    UnregisterPortObject(port);
    BYTE open = 1;
    if (port->isOpen.compare_exchange_strong(open, 0)) {
        port->irMode.store(0);
        StopPort(port);
    }
    port->receiving.store(false);
    AbandonDelivery(port);
    ReleaseVirtualPort(port);
    return 1;
}

DWORD VirtualOpen(VirtualPort* port) {
    BYTE closed = 0;
    if (!port->isOpen.compare_exchange_strong(closed, 1)) {
        return 0;
    }
    port->irMode.store(0);
    StartPort(port);
    return 1;
}

DWORD VirtualClose(VirtualPort* port) {
    BYTE open = 1;
    if (port->isOpen.compare_exchange_strong(open, 0)) {
        port->irMode.store(0);
        StopPort(port);
    }
    return 0;
}

// The core's ring is then its default size.
DWORD VirtualGetRxBufferSize(VirtualPort* /*port*/) {
    return 0;
}

// A virtual port draws no power.
BOOL VirtualPowerOff(VirtualPort* /*port*/) {
    return TRUE;
}
BOOL VirtualPowerOn(VirtualPort* /*port*/) {
    return TRUE;
}

// Infrared mode is only recorded: the bytes cross the same way.
BOOL VirtualEnableIr(VirtualPort* port, DWORD /*baudRate*/) {
    port->irMode.store(1);
    return TRUE;
}

BOOL VirtualDisableIr(VirtualPort* port) {
    port->irMode.store(0);
    return TRUE;
}

void VirtualGetCommProperties(VirtualPort* port, COMMPROP* properties) {
    CeSafeCopyMemory(properties, &port->commProp, sizeof(COMMPROP));
}

bool ReadDeviceKeyDword(HKEY key, LPCWSTR name, DWORD* value) {
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(data)) {
        return false;
    }
    *value = data;
    return true;
}
