// The table of port operations through which the serial core drives a port, and the small record that
// carries the table to the core. The core owns this interface and calls every slot through the checked
// wrappers of layer_calls.h; the virtual port layer implements it (virtual/port_ops_table.cpp) and reaches
// the core back only through port_core.h. The core knows nothing of where bytes go; every slot takes the
// port's VirtualPort first (Init creates it).
//
// Contracts, which the wrappers check: slots of the service pass (GetInterruptType, RxIntr, ModemIntr,
// LineIntr) run one pass at a time, RxIntr under the core's RxLock; TxIntr with bytes runs on the writing
// thread holding its TransmitLock and no lock from OpenLock on, and may block; Open and Close run under
// OpenLock; every other slot acts at once, never waits, and may take the layer's own locks, so the core calls
// it holding none of them.
#pragma once

#include <windows.h>

struct PortState;
struct VirtualPort;
struct PortOpsObject;

// Interrupt-type mask answered by GetInterruptType.
constexpr DWORD kInterruptNone = 0;
constexpr DWORD kInterruptLine = 1;
constexpr DWORD kInterruptReceive = 2;
constexpr DWORD kInterruptTransmit = 4;
constexpr DWORD kInterruptModem = 8;

// The driver's own control code: "is this port open by an application?", answered in the bytes-returned word.
constexpr DWORD kIoctlPortOpenState = 0x001B006C;

using PortInitFn = VirtualPort*(LPCWSTR activeKey, PortState* state, PortOpsObject* opsObject);
using PortPostInitFn = DWORD(VirtualPort* port);
using PortDeinitFn = DWORD(VirtualPort* port);
using PortOpenFn = DWORD(VirtualPort* port);
using PortCloseFn = DWORD(VirtualPort* port);
using PortGetInterruptTypeFn = DWORD(VirtualPort* port);
// Where RxIntr hands bytes over: into room in the core's receive ring, or, while the ring is full, into a
// small scratch area of the core's. A full ring takes only the characters posted ahead of the data, so that
// XON and XOFF still act, as a UART sees them before its buffer does; data waits in the layer for room, and
// its writer decides when waiting has lasted as long as the bytes would take on a line.
enum class RxInto { kRing, kFullRing };
// count: room at target in, bytes stored out. Answers the bytes left untaken.
using PortRxIntrFn = DWORD(VirtualPort* port, BYTE* target, DWORD* count, RxInto into);
// count: bytes offered in, bytes taken out. A null source with count 0 says the write is over.
// May block until the partner has taken the bytes, with no lock of the layer held meanwhile; the core calls
// it with bytes only from the writing application thread, never from a dispatch thread. Before its next
// piece the writer asks its port's dispatch thread for a service pass, which takes in what arrived (an XOFF,
// say) first.
using PortTxIntrFn = void(VirtualPort* port, const BYTE* source, DWORD* count);
using PortModemIntrFn = void(VirtualPort* port);
using PortLineIntrFn = void(VirtualPort* port);
using PortGetRxBufferSizeFn = DWORD(VirtualPort* port);
using PortPowerOffFn = BOOL(VirtualPort* port);
using PortPowerOnFn = BOOL(VirtualPort* port);
using PortClearDtrFn = void(VirtualPort* port);
using PortSetDtrFn = void(VirtualPort* port);
using PortClearRtsFn = void(VirtualPort* port);
using PortSetRtsFn = void(VirtualPort* port);
using PortEnableIrFn = BOOL(VirtualPort* port, DWORD baudRate);
using PortDisableIrFn = BOOL(VirtualPort* port);
using PortClearBreakFn = void(VirtualPort* port);
using PortSetBreakFn = void(VirtualPort* port);
// Posts one character to the partner ahead of the bytes of any delivery; never waits for the partner.
using PortXmitComCharFn = BOOL(VirtualPort* port, BYTE character);
using PortGetStatusFn = DWORD(VirtualPort* port, COMSTAT* status);
using PortResetFn = void(VirtualPort* port);
using PortGetModemStatusFn = void(VirtualPort* port, DWORD* modemStatus);
using PortGetCommPropertiesFn = void(VirtualPort* port, COMMPROP* properties);
using PortPurgeCommFn = void(VirtualPort* port, DWORD flags);
using PortSetDcbFn = BOOL(VirtualPort* port, const DCB* dcb);
using PortSetCommTimeoutsFn = DWORD(VirtualPort* port, const COMMTIMEOUTS* timeouts);
using PortIoctlFn = BOOL(VirtualPort* port, DWORD code, BYTE* in, DWORD inLength, BYTE* out, DWORD outLength,
                         DWORD* returned);

struct PortOps {
    PortInitFn* Init;
    PortPostInitFn* PostInit;
    PortDeinitFn* Deinit;
    PortOpenFn* Open;
    PortCloseFn* Close;
    PortGetInterruptTypeFn* GetInterruptType;
    PortRxIntrFn* RxIntr;
    PortTxIntrFn* TxIntr;
    PortModemIntrFn* ModemIntr;
    PortLineIntrFn* LineIntr;
    PortGetRxBufferSizeFn* GetRxBufferSize;
    PortPowerOffFn* PowerOff;
    PortPowerOnFn* PowerOn;
    PortClearDtrFn* ClearDTR;
    PortSetDtrFn* SetDTR;
    PortClearRtsFn* ClearRTS;
    PortSetRtsFn* SetRTS;
    PortEnableIrFn* EnableIR;
    PortDisableIrFn* DisableIR;
    PortClearBreakFn* ClearBreak;
    PortSetBreakFn* SetBreak;
    PortXmitComCharFn* XmitComChar;
    PortGetStatusFn* GetStatus;
    PortResetFn* Reset;
    PortGetModemStatusFn* GetModemStatus;
    PortGetCommPropertiesFn* GetCommProperties;
    PortPurgeCommFn* PurgeComm;
    PortSetDcbFn* SetDCB;
    PortSetCommTimeoutsFn* SetCommTimeouts;
    PortIoctlFn* Ioctl;
};
static_assert(sizeof(PortOps) == 30 * sizeof(void*), "thirty slots");

// Bit 0 of bindFlags: the core runs the port's dispatch thread from COM_Init to COM_Deinit.
constexpr DWORD kBindOwnDispatchThread = 0x1;

struct PortOpsObject {
    DWORD bindFlags;
    DWORD interruptId;  // no system interrupt: the layer sets the PortState's SerialEvent instead
    const PortOps* ops;
};

// One object per instance, all sharing the one table; null when out of memory. The index is not used.
PortOpsObject* CreatePortOpsObject(DWORD deviceArrayIndex);
// Deinit frees the object of a port that Init created; one whose Init failed is freed with this.
void ReleasePortOpsObject(PortOpsObject* opsObject);

// References on a VirtualPort. Init hands the core one reference, which Deinit gives back; a core thread
// that may still call slots after Deinit (a dispatch thread that did not stop in time) holds its own.
void AddRefVirtualPort(VirtualPort* port);
void ReleaseVirtualPort(VirtualPort* port);

// The instance's device key (the "Key" value under its active key), opened under HKEY_LOCAL_MACHINE with
// KEY_ALL_ACCESS, or null. The caller closes it.
HKEY OpenDeviceKey(LPCWSTR activeKey);

// A 4-byte REG_DWORD value of a key; false when it is missing or of another type or size.
bool ReadDeviceKeyDword(HKEY key, LPCWSTR name, DWORD* value);
