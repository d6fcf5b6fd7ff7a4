// Loopback stream driver of the platform demonstration.
//
// Each device instance keeps one echo buffer: what any of its handles writes, the next reads give back, in
// order. It also keeps a DCB so that the comm API has something real to set and read. Written as a driver
// for the device would be: the platform's API only, records from LocalAlloc, caller buffers reached through
// CeSafeCopyMemory so that a bad pointer ends the call with an error instead of a fault.
#include <cstring>

#include <windows.h>

namespace {

constexpr DWORD kEchoBytes = 4096;  // bytes a device holds between a write and the reads that drain it
constexpr DWORD kDefaultBaud = CBR_9600;
constexpr BYTE kMinByteSize = 5;
constexpr BYTE kMaxByteSize = 8;
constexpr DWORD kStreamFailure = 0xFFFFFFFFu;

struct LoopDevice {
    CRITICAL_SECTION lock;  // guards everything below
    DCB dcb;
    DWORD held;  // bytes waiting in echo
    BYTE echo[kEchoBytes];
};

struct LoopOpen {
    LoopDevice* device;  // const after open
    DWORD access;        // const after open
};

class Lock {
  public:
    explicit Lock(LoopDevice* device) : device_(device) { EnterCriticalSection(&device_->lock); }
    ~Lock() { LeaveCriticalSection(&device_->lock); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

  private:
    LoopDevice* device_;
};

// What a device starts with: 9600 baud, 8 data bits; the zero-filled rest is no parity and one stop bit.
void SetDefaultDcb(DCB* dcb) {
    dcb->DCBlength = sizeof(DCB);
    dcb->BaudRate = kDefaultBaud;
    dcb->fBinary = 1;
    dcb->ByteSize = kMaxByteSize;
}

bool DcbIsValid(const DCB& dcb) {
    return dcb.BaudRate != 0 && dcb.ByteSize >= kMinByteSize && dcb.ByteSize <= kMaxByteSize &&
           dcb.Parity <= SPACEPARITY && dcb.StopBits <= TWOSTOPBITS;
}

DWORD Fail(DWORD error) {
    SetLastError(error);
    return kStreamFailure;
}

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Moves bytes between the caller and the echo buffer: out of it for a read, into it for a write. Takes what
// there is or what fits, never waiting: an empty buffer reads as 0 bytes, as a serial port with zero
// timeouts would, and a full one takes nothing, like a transmitter that cannot keep up.
DWORD Transfer(DWORD_PTR openContext, bool reading, const void* from, void* to, DWORD count) {
    auto* open = reinterpret_cast<LoopOpen*>(openContext);
    if ((open->access & (reading ? GENERIC_READ : GENERIC_WRITE)) == 0) {
        return Fail(ERROR_INVALID_ACCESS);
    }
    LoopDevice* device = open->device;
    Lock lock(device);
    DWORD available = reading ? device->held : kEchoBytes - device->held;
    DWORD taken = count < available ? count : available;
    BYTE* ours = device->echo + (reading ? 0 : device->held);
    if (taken != 0 && !CeSafeCopyMemory(reading ? to : ours, reading ? ours : from, taken)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (reading) {
        device->held -= taken;
        std::memmove(device->echo, device->echo + taken, device->held);
    } else {
        device->held += taken;
    }
    return taken;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HANDLE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(static_cast<HMODULE>(module));
    }
    return TRUE;
}

DWORD_PTR LPB_Init(LPCWSTR activeKey, DWORD_PTR clientInfo) {
    auto* device = static_cast<LoopDevice*>(LocalAlloc(LPTR, sizeof(LoopDevice)));
    if (device == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    InitializeCriticalSection(&device->lock);
    SetDefaultDcb(&device->dcb);
    return reinterpret_cast<DWORD_PTR>(device);
}

BOOL LPB_Deinit(DWORD_PTR context) {
    auto* device = reinterpret_cast<LoopDevice*>(context);
    if (device == nullptr) {
        return Refuse(ERROR_INVALID_HANDLE);
    }
    DeleteCriticalSection(&device->lock);
    LocalFree(device);
    return TRUE;
}

DWORD_PTR LPB_Open(DWORD_PTR context, DWORD access, DWORD share) {
    auto* open = static_cast<LoopOpen*>(LocalAlloc(LPTR, sizeof(LoopOpen)));
    if (open == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    open->device = reinterpret_cast<LoopDevice*>(context);
    open->access = access;
    return reinterpret_cast<DWORD_PTR>(open);
}

BOOL LPB_Close(DWORD_PTR openContext) {
    LocalFree(reinterpret_cast<LoopOpen*>(openContext));
    return TRUE;
}

DWORD LPB_Read(DWORD_PTR openContext, LPVOID buffer, DWORD count) {
    return Transfer(openContext, true, nullptr, buffer, count);
}

DWORD LPB_Write(DWORD_PTR openContext, LPCVOID buffer, DWORD count) {
    return Transfer(openContext, false, buffer, nullptr, count);
}

DWORD LPB_Seek(DWORD_PTR, LONG, DWORD) {
    return Fail(ERROR_NOT_SUPPORTED);
}

BOOL LPB_IOControl(DWORD_PTR openContext, DWORD code, PBYTE in, DWORD inLength, PBYTE out, DWORD outLength,
                   PDWORD actualOut) {
    LoopDevice* device = reinterpret_cast<LoopOpen*>(openContext)->device;
    switch (code) {
        case IOCTL_SERIAL_GET_DCB: {
            if (out == nullptr || outLength < sizeof(DCB)) {
                return Refuse(ERROR_INVALID_PARAMETER);
            }
            Lock lock(device);
            if (!CeSafeCopyMemory(out, &device->dcb, sizeof(DCB))) {
                return Refuse(ERROR_INVALID_PARAMETER);
            }
            if (actualOut != nullptr) {
                *actualOut = sizeof(DCB);
            }
            return TRUE;
        }
        case IOCTL_SERIAL_SET_DCB: {
            DCB wanted;
            if (in == nullptr || inLength < sizeof(DCB) || !CeSafeCopyMemory(&wanted, in, sizeof(DCB))) {
                return Refuse(ERROR_INVALID_PARAMETER);
            }
            if (!DcbIsValid(wanted)) {
                return Refuse(ERROR_INVALID_PARAMETER);
            }
            wanted.DCBlength = sizeof(DCB);
            Lock lock(device);
            device->dcb = wanted;
            return TRUE;
        }
        default:
            return Refuse(ERROR_NOT_SUPPORTED);
    }
}

// No hardware to power: the echo buffer survives a suspend.
BOOL LPB_PowerUp(DWORD_PTR) {
    return TRUE;
}
BOOL LPB_PowerDown(DWORD_PTR) {
    return TRUE;
}

}  // extern "C"
