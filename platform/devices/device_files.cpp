// The file API on device names. There are no regular files: every name that is not a running device's is
// unknown.
#include "devices/device_files.h"

#include "devices/device_manager.h"
#include "remote/remote_devices.h"
#include "wire/device_dir.h"

namespace ce {

BOOL CloseDeviceFile(HANDLE handle) {
    return DeviceManager::Instance().Close(handle);
}

}  // namespace ce

namespace {

BOOL InvalidParameter() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    if (lpFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Share modes are the driver's business; overlapped I/O does not exist on the device, so its flag is
    // ignored like the other attributes.
    if (ce::host::Remote()) {
        return ce::host::OpenFile(lpFileName, dwDesiredAccess, dwShareMode);
    }
    return ce::DeviceManager::Instance().Open(lpFileName, dwDesiredAccess, dwShareMode);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead == nullptr) {
        return InvalidParameter();
    }
    *lpNumberOfBytesRead = 0;
    if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToRead != 0)) {
        return InvalidParameter();
    }
    if (ce::host::Remote()) {
        return ce::host::ReadRemote(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead);
    }
    return ce::DeviceManager::Instance().Read(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten == nullptr) {
        return InvalidParameter();
    }
    *lpNumberOfBytesWritten = 0;
    if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToWrite != 0)) {
        return InvalidParameter();
    }
    if (ce::host::Remote()) {
        return ce::host::WriteRemote(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten);
    }
    return ce::DeviceManager::Instance().Write(hFile, lpBuffer, nNumberOfBytesToWrite,
                                               lpNumberOfBytesWritten);
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    // Stream drivers seek with 32-bit amounts only.
    if (lpDistanceToMoveHigh != nullptr && *lpDistanceToMoveHigh != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (ce::host::Remote()) {
        return ce::host::SeekRemote(hFile, lDistanceToMove, dwMoveMethod);
    }
    return ce::DeviceManager::Instance().Seek(hFile, lDistanceToMove, dwMoveMethod);
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                            LPOVERLAPPED lpOverlapped) {
    if (lpOverlapped != nullptr) {
        return InvalidParameter();
    }
    if (ce::host::Remote()) {
        return ce::host::IoControlRemote(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                                         nOutBufferSize, lpBytesReturned);
    }
    // Buffers go to the driver as they are: checking them is the driver's part of the contract.
    return ce::DeviceManager::Instance().IoControl(hDevice, dwIoControlCode, static_cast<PBYTE>(lpInBuffer),
                                                   nInBufferSize, static_cast<PBYTE>(lpOutBuffer),
                                                   nOutBufferSize, lpBytesReturned);
}

}  // extern "C"
