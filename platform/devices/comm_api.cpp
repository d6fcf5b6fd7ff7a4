// The serial communication API, built on DeviceIoControl as the device's system library builds it: one
// control code per function, each record passed with its exact size.
#include <windows.h>

namespace {

BOOL InvalidParameter() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL Control(HANDLE file, DWORD code, const void* in = nullptr, DWORD inSize = 0, void* out = nullptr,
             DWORD outSize = 0) {
    DWORD returned = 0;
    return DeviceIoControl(file, code, const_cast<void*>(in), inSize, out, outSize, &returned, nullptr);
}

// Sends a record to the driver; a null record never reaches it.
template <class Record>
BOOL SendRecord(HANDLE file, DWORD code, const Record* record) {
    return record == nullptr ? InvalidParameter() : Control(file, code, record, sizeof(Record));
}

// Fetches a record from the driver; a null record never reaches it.
template <class Record>
BOOL FetchRecord(HANDLE file, DWORD code, Record* record) {
    return record == nullptr ? InvalidParameter() : Control(file, code, nullptr, 0, record, sizeof(Record));
}

// Control code of an EscapeCommFunction code, or 0 for one the function does not know.
DWORD EscapeCode(DWORD function) {
    switch (function) {
        case SETXOFF:
            return IOCTL_SERIAL_SET_XOFF;
        case SETXON:
            return IOCTL_SERIAL_SET_XON;
        case SETRTS:
            return IOCTL_SERIAL_SET_RTS;
        case CLRRTS:
            return IOCTL_SERIAL_CLR_RTS;
        case SETDTR:
            return IOCTL_SERIAL_SET_DTR;
        case CLRDTR:
            return IOCTL_SERIAL_CLR_DTR;
        case SETBREAK:
            return IOCTL_SERIAL_SET_BREAK_ON;
        case CLRBREAK:
            return IOCTL_SERIAL_SET_BREAK_OFF;
        case SETIR:
            return IOCTL_SERIAL_ENABLE_IR;
        case CLRIR:
            return IOCTL_SERIAL_DISABLE_IR;
        default:
            return 0;
    }
}

}  // namespace

extern "C" {

BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB) {
    return SendRecord(hFile, IOCTL_SERIAL_SET_DCB, lpDCB);
}

BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB) {
    return FetchRecord(hFile, IOCTL_SERIAL_GET_DCB, lpDCB);
}

BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    return SendRecord(hFile, IOCTL_SERIAL_SET_TIMEOUTS, lpCommTimeouts);
}

BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    return FetchRecord(hFile, IOCTL_SERIAL_GET_TIMEOUTS, lpCommTimeouts);
}

BOOL WINAPI SetCommMask(HANDLE hFile, DWORD dwEvtMask) {
    return SendRecord(hFile, IOCTL_SERIAL_SET_WAIT_MASK, &dwEvtMask);
}

BOOL WINAPI GetCommMask(HANDLE hFile, LPDWORD lpEvtMask) {
    return FetchRecord(hFile, IOCTL_SERIAL_GET_WAIT_MASK, lpEvtMask);
}

BOOL WINAPI WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask, LPOVERLAPPED lpOverlapped) {
    if (lpOverlapped != nullptr) {
        return InvalidParameter();
    }
    return FetchRecord(hFile, IOCTL_SERIAL_WAIT_ON_MASK, lpEvtMask);
}

BOOL WINAPI EscapeCommFunction(HANDLE hFile, DWORD dwFunc) {
    const DWORD code = EscapeCode(dwFunc);
    return code == 0 ? InvalidParameter() : Control(hFile, code);
}

BOOL WINAPI GetCommModemStatus(HANDLE hFile, LPDWORD lpModemStat) {
    return FetchRecord(hFile, IOCTL_SERIAL_GET_MODEMSTATUS, lpModemStat);
}

BOOL WINAPI PurgeComm(HANDLE hFile, DWORD dwFlags) {
    return SendRecord(hFile, IOCTL_SERIAL_PURGE, &dwFlags);
}

BOOL WINAPI ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat) {
    SERIAL_DEV_STATUS status{};
    if (!FetchRecord(hFile, IOCTL_SERIAL_GET_COMMSTATUS, &status)) {
        return FALSE;
    }
    if (lpErrors != nullptr) {
        *lpErrors = status.Errors;
    }
    if (lpStat != nullptr) {
        *lpStat = status.ComStat;
    }
    return TRUE;
}

BOOL WINAPI GetCommProperties(HANDLE hFile, LPCOMMPROP lpCommProp) {
    return FetchRecord(hFile, IOCTL_SERIAL_GET_PROPERTIES, lpCommProp);
}

BOOL WINAPI SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue) {
    const SERIAL_QUEUE_SIZES sizes{dwInQueue, dwOutQueue};
    return SendRecord(hFile, IOCTL_SERIAL_SET_QUEUE_SIZE, &sizes);
}

BOOL WINAPI TransmitCommChar(HANDLE hFile, char cChar) {
    return SendRecord(hFile, IOCTL_SERIAL_IMMEDIATE_CHAR, &cChar);
}

BOOL WINAPI SetCommBreak(HANDLE hFile) {
    return Control(hFile, IOCTL_SERIAL_SET_BREAK_ON);
}

BOOL WINAPI ClearCommBreak(HANDLE hFile) {
    return Control(hFile, IOCTL_SERIAL_SET_BREAK_OFF);
}

}  // extern "C"
