// A stream driver standing in for a physical serial port: it counts its opens, lets one handle at a time
// read and write, and refuses control codes it does not know, as a UART driver refuses the virtual ports'
// open-state query.
#include <windows.h>

#include <cstring>
#include <mutex>

#include "manager/store/physical_port/physical_port_protocol.h"

namespace {

constexpr DWORD kFailure = 0xFFFFFFFFu;
constexpr DWORD kDataAccess = GENERIC_READ | GENERIC_WRITE;
// An open context is its port's address, with this bit set for a handle that may read and write.
constexpr DWORD_PTR kDataOpen = 1;

struct Port {
    physport::Counts counts{};
    DWORD failOpenError = 0;  // 0: data opens are allowed
    bool held = false;        // a handle with data access is open
};

Port* PortOf(DWORD_PTR open) {
    return reinterpret_cast<Port*>(open & ~kDataOpen);
}

std::mutex g_lock;

DWORD FailOpenError(LPCWSTR activeKey) {
    HKEY active = nullptr;
    HKEY device = nullptr;
    WCHAR path[256] = {};
    DWORD error = 0;
    DWORD size = sizeof(path) - sizeof(WCHAR);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, activeKey, 0, 0, &active) == ERROR_SUCCESS) {
        if (RegQueryValueExW(active, u"Key", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) ==
                ERROR_SUCCESS &&
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, 0, &device) == ERROR_SUCCESS) {
            size = sizeof(error);
            RegQueryValueExW(device, physport::kFailOpen, nullptr, nullptr, reinterpret_cast<BYTE*>(&error),
                             &size);
            RegCloseKey(device);
        }
        RegCloseKey(active);
    }
    return error;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HANDLE, DWORD, LPVOID) {
    return TRUE;
}

DWORD_PTR COM_Init(LPCWSTR activeKey, DWORD_PTR) {
    Port* port = new Port;
    port->failOpenError = FailOpenError(activeKey);
    return reinterpret_cast<DWORD_PTR>(port);
}

BOOL COM_Deinit(DWORD_PTR context) {
    delete reinterpret_cast<Port*>(context);
    return TRUE;
}

DWORD_PTR COM_Open(DWORD_PTR context, DWORD access, DWORD) {
    Port* port = reinterpret_cast<Port*>(context);
    const bool data = (access & kDataAccess) != 0;
    std::lock_guard<std::mutex> guard(g_lock);
    ++port->counts.opens;
    if (data) {
        ++port->counts.dataOpens;
        const DWORD error = port->failOpenError != 0 ? port->failOpenError
                            : port->held             ? physport::kHeldError
                                                     : 0;
        if (error != 0) {
            SetLastError(error);
            return 0;
        }
        port->held = true;
    }
    return reinterpret_cast<DWORD_PTR>(port) | (data ? kDataOpen : 0);
}

BOOL COM_Close(DWORD_PTR context) {
    std::lock_guard<std::mutex> guard(g_lock);
    if ((context & kDataOpen) != 0) {
        PortOf(context)->held = false;
    }
    return TRUE;
}

DWORD COM_Read(DWORD_PTR, LPVOID, DWORD) {
    return 0;
}

DWORD COM_Write(DWORD_PTR, LPCVOID, DWORD count) {
    return count;
}

DWORD COM_Seek(DWORD_PTR, LONG, DWORD) {
    return kFailure;
}

BOOL COM_IOControl(DWORD_PTR context, DWORD code, PBYTE, DWORD, PBYTE out, DWORD outSize, PDWORD returned) {
    if (code != physport::kGetCounts) {
        SetLastError(physport::kUnknownCodeError);
        return FALSE;
    }
    if (out == nullptr || outSize < sizeof(physport::Counts)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    std::memcpy(out, &PortOf(context)->counts, sizeof(physport::Counts));
    if (returned != nullptr) {
        *returned = sizeof(physport::Counts);
    }
    return TRUE;
}

BOOL COM_PowerUp(DWORD_PTR) {
    return TRUE;
}

BOOL COM_PowerDown(DWORD_PTR) {
    return TRUE;
}

}  // extern "C"
