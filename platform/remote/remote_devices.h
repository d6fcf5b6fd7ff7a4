// The device manager's calls and the device-file calls of a program whose devices live in the device
// host. The public API checks its parameters first, as in-process, and then hands over to these.
//
// Caller buffers are copied with safe copies: a buffer the program cannot read or write fails the call
// with ERROR_INVALID_PARAMETER before the driver sees it (a driver answers a bad buffer so in-process).
// Transfers longer than kTransferPieceBytes cross in pieces, each a driver call of its own with the port's
// timeouts: a transfer ends at its first short or failed piece and reports what the pieces before moved.
// The thread's last error changes only where the host's call set it.
#pragma once

#include <windows.h>

namespace ce::host {

HANDLE ActivateRemote(LPCWSTR key, DWORD clientInfo);
BOOL DeactivateRemote(HANDLE device);

HANDLE OpenFile(LPCWSTR name, DWORD access, DWORD share);
BOOL CloseFile(HANDLE file);
BOOL ReadRemote(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done);
BOOL WriteRemote(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done);
DWORD SeekRemote(HANDLE file, LONG amount, DWORD method);
BOOL IoControlRemote(HANDLE file, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned);
// Every device's PowerDown (true) or PowerUp entry point.
void PowerRemote(bool down);

}  // namespace ce::host
