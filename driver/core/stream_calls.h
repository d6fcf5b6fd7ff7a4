// The work behind the stream entry points that take an open handle; the entry points of both families
// forward here.
#pragma once

#include <windows.h>

// What COM_Read, COM_Write and COM_Seek answer for a refused call.
constexpr DWORD kStreamFailure = 0xFFFFFFFFu;

DWORD ReadPort(DWORD_PTR open, LPVOID buffer, DWORD count);
DWORD WritePort(DWORD_PTR open, LPCVOID buffer, DWORD count);
BOOL ControlPort(DWORD_PTR open, DWORD code, PBYTE in, DWORD inLength, PBYTE out, DWORD outLength,
                 PDWORD actualOut);
