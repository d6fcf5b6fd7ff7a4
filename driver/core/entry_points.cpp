// The stream entry points of both families. The device manager binds an instance to the family its key's
// Prefix names; the KMX_ entries behave exactly as the COM_ ones by forwarding to them.
#include "core/layer_calls.h"
#include "core/handle_call.h"
#include "core/instance.h"
#include "core/open_close.h"
#include "core/port_state.h"
#include "core/stream_calls.h"

extern "C" {

DWORD_PTR COM_Init(LPCWSTR activeKey, DWORD_PTR clientInfo) {
    return reinterpret_cast<DWORD_PTR>(CreateInstance(activeKey, kVirtualPortLayer));
}

BOOL COM_Deinit(DWORD_PTR device) {
    return DestroyInstance(device);
}

DWORD_PTR COM_Open(DWORD_PTR device, DWORD access, DWORD share) {
    return reinterpret_cast<DWORD_PTR>(OpenPort(device, access, share));
}

BOOL COM_Close(DWORD_PTR open) {
    return ClosePort(open);
}

DWORD COM_Read(DWORD_PTR open, LPVOID buffer, DWORD count) {
    return ReadPort(open, buffer, count);
}

DWORD COM_Write(DWORD_PTR open, LPCVOID buffer, DWORD count) {
    return WritePort(open, buffer, count);
}

// A serial port has no position.
DWORD COM_Seek(DWORD_PTR open, LONG amount, DWORD type) {
    return kStreamFailure;
}

BOOL COM_IOControl(DWORD_PTR open, DWORD code, PBYTE in, DWORD inLength, PBYTE out, DWORD outLength,
                   PDWORD actualOut) {
    return ControlPort(open, code, in, inLength, out, outLength, actualOut);
}

// The power entries only forward to the layer; the core keeps no power state.
BOOL COM_PowerUp(DWORD_PTR device) {
    PortRef port(device);
    if (port.get() == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return LayerPowerOn(port.get());
}

BOOL COM_PowerDown(DWORD_PTR device) {
    if (device == 0) {
        return TRUE;
    }
    PortRef port(device);
    if (port.get() == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return LayerPowerOff(port.get());
}

DWORD_PTR KMX_Init(LPCWSTR activeKey, DWORD_PTR clientInfo) {
    return COM_Init(activeKey, clientInfo);
}

BOOL KMX_Deinit(DWORD_PTR device) {
    return COM_Deinit(device);
}

DWORD_PTR KMX_Open(DWORD_PTR device, DWORD access, DWORD share) {
    return COM_Open(device, access, share);
}

BOOL KMX_Close(DWORD_PTR open) {
    return COM_Close(open);
}

DWORD KMX_Read(DWORD_PTR open, LPVOID buffer, DWORD count) {
    return COM_Read(open, buffer, count);
}

DWORD KMX_Write(DWORD_PTR open, LPCVOID buffer, DWORD count) {
    return COM_Write(open, buffer, count);
}

DWORD KMX_Seek(DWORD_PTR open, LONG amount, DWORD type) {
    return COM_Seek(open, amount, type);
}

BOOL KMX_IOControl(DWORD_PTR open, DWORD code, PBYTE in, DWORD inLength, PBYTE out, DWORD outLength,
                   PDWORD actualOut) {
    return COM_IOControl(open, code, in, inLength, out, outLength, actualOut);
}

BOOL KMX_PowerUp(DWORD_PTR device) {
    return COM_PowerUp(device);
}

BOOL KMX_PowerDown(DWORD_PTR device) {
    return COM_PowerDown(device);
}

}  // extern "C"
