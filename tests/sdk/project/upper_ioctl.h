// The private control code of the upper-casing driver, shared by the driver and the program that tests it.
#pragma once

#include <windows.h>

// A device type from the range left to vendors, so it can never be taken for a serial control code.
#define FILE_DEVICE_UPPER 0x00008001u
#define IOCTL_UPPER_GET_STATS CTL_CODE(FILE_DEVICE_UPPER, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS)

typedef struct _UPPER_STATS {
    DWORD ClientInfo;    // what ActivateDevice passed to Init
    DWORD Opens;         // handles open now
    DWORD BytesWritten;  // accepted by writes since Init
    DWORD BytesRead;     // handed out by reads since Init
} UPPER_STATS;

static_assert(sizeof(UPPER_STATS) == 16, "UPPER_STATS is 16 bytes");
