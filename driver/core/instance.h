// Creation and retirement of a port instance. The layer that stands behind the port's table comes in as a
// pair of routines, so that the core can be driven through a table of a test's own as well as the virtual
// port layer's.
#pragma once

#include <windows.h>

#include "core/port_state.h"

struct PortLayer {
    PortOpsObject* (*CreateOps)(DWORD deviceArrayIndex);
    void (*ReleaseOps)(PortOpsObject* object);  // for an object that no VirtualPort took over
};

// The virtual port layer, which COM_Init uses.
extern const PortLayer kVirtualPortLayer;

// COM_Init's work: the new instance, registered as a live handle, or null with nothing of it left.
PortState* CreateInstance(LPCWSTR activeKey, const PortLayer& layer);
// COM_Deinit's work on an instance handle; FALSE with ERROR_INVALID_HANDLE when it names no live instance.
BOOL DestroyInstance(DWORD_PTR device);
