// Upper-casing stream driver: bytes written to a device come back from its reads with ASCII letters in upper
// case, so a reader can tell that they went through the driver. It reports counters through a control code
// of its own.
#include <windows.h>

#include "upper_ioctl.h"

namespace {

constexpr DWORD kRingBytes = 1024;
constexpr DWORD kStreamFailure = 0xFFFFFFFFu;

struct UpperDevice {
    CRITICAL_SECTION guard;  // guards everything but clientInfo
    BYTE ring[kRingBytes];
    DWORD first;
    DWORD count;
    DWORD clientInfo;  // const after Init
    DWORD opens;
    DWORD bytesWritten;
    DWORD bytesRead;
};

struct Guard {
    explicit Guard(UpperDevice* d) : device(d) { EnterCriticalSection(&device->guard); }
    ~Guard() { LeaveCriticalSection(&device->guard); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    UpperDevice* device;
};

BYTE Upper(BYTE c) {
    return c >= 'a' && c <= 'z' ? static_cast<BYTE>(c - 'a' + 'A') : c;
}

// Copies a record in or out of a control call; false (error set) when the caller's buffer cannot hold it.
BOOL CopyRecord(void* to, const void* from, DWORD callerBytes, DWORD recordBytes) {
    if (to == nullptr || from == nullptr || callerBytes < recordBytes) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return CeSafeCopyMemory(to, from, recordBytes);
}

BOOL Answered(PDWORD actualOut, DWORD bytes) {
    if (actualOut != nullptr) {
        *actualOut = bytes;
    }
    return TRUE;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HANDLE, DWORD, LPVOID) {
    return TRUE;
}

DWORD_PTR UPC_Init(LPCWSTR activeKey, DWORD_PTR clientInfo) {
    auto* device = static_cast<UpperDevice*>(LocalAlloc(LPTR, sizeof(UpperDevice)));
    if (device == nullptr) {
        return 0;
    }
    InitializeCriticalSection(&device->guard);
    device->clientInfo = static_cast<DWORD>(clientInfo);
    return reinterpret_cast<DWORD_PTR>(device);
}

BOOL UPC_Deinit(DWORD_PTR context) {
    auto* device = reinterpret_cast<UpperDevice*>(context);
    DeleteCriticalSection(&device->guard);
    LocalFree(device);
    return TRUE;
}

DWORD_PTR UPC_Open(DWORD_PTR context, DWORD, DWORD) {
    auto* device = reinterpret_cast<UpperDevice*>(context);
    Guard guard(device);
    ++device->opens;
    return context;
}

BOOL UPC_Close(DWORD_PTR context) {
    auto* device = reinterpret_cast<UpperDevice*>(context);
    Guard guard(device);
    --device->opens;
    return TRUE;
}

DWORD UPC_Write(DWORD_PTR context, LPCVOID buffer, DWORD bytes) {
    auto* device = reinterpret_cast<UpperDevice*>(context);
    const auto* in = static_cast<const BYTE*>(buffer);
    if (in == nullptr && bytes != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return kStreamFailure;
    }
    Guard guard(device);
    DWORD taken = 0;
    for (; taken < bytes && device->count < kRingBytes; ++taken, ++device->count) {
        device->ring[(device->first + device->count) % kRingBytes] = Upper(in[taken]);
    }
    device->bytesWritten += taken;
    return taken;
}

DWORD UPC_Read(DWORD_PTR context, LPVOID buffer, DWORD bytes) {
    auto* device = reinterpret_cast<UpperDevice*>(context);
    auto* out = static_cast<BYTE*>(buffer);
    if (out == nullptr && bytes != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return kStreamFailure;
    }
    Guard guard(device);
    DWORD given = 0;
    for (; given < bytes && device->count > 0; ++given, --device->count) {
        out[given] = device->ring[device->first];
        device->first = (device->first + 1) % kRingBytes;
    }
    device->bytesRead += given;
    return given;
}

DWORD UPC_Seek(DWORD_PTR, LONG, DWORD) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return kStreamFailure;
}

BOOL UPC_IOControl(DWORD_PTR context, DWORD code, PBYTE, DWORD, PBYTE out, DWORD outBytes, PDWORD actualOut) {
    auto* device = reinterpret_cast<UpperDevice*>(context);
    Guard guard(device);
    if (code != IOCTL_UPPER_GET_STATS) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    UPPER_STATS stats = {device->clientInfo, device->opens, device->bytesWritten, device->bytesRead};
    return CopyRecord(out, &stats, outBytes, sizeof(stats)) && Answered(actualOut, sizeof(stats));
}

BOOL UPC_PowerUp(DWORD_PTR) {
    return TRUE;
}
BOOL UPC_PowerDown(DWORD_PTR) {
    return TRUE;
}

}  // extern "C"
