// Kernel, file and serial-communication API of the device (COREDLL), as Win32 publishes it.
#pragma once

#ifndef RC_INVOKED
#include <cstdarg>
#include <cstddef>
#endif

#include "windef.h"
#include "winerror.h"

#ifdef __cplusplus
#define CE_EXTERN_C extern "C"
#define CE_BEGIN_DECLS extern "C" {
#define CE_END_DECLS }
#else
#define CE_EXTERN_C
#define CE_BEGIN_DECLS
#define CE_END_DECLS
#endif

#if defined(CEPLATFORM_BUILDING)
#define CEAPI __attribute__((visibility("default")))
#else
#define CEAPI
#endif

// ---- handles, waits, threads
// -------------------------------------------------------------------------------

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64
#define STILL_ACTIVE 0x00000103u
#define CREATE_SUSPENDED 0x00000004u
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000u

// The seven-level priorities map to 248..255 on the 256-level scale of CeSetThreadPriority.
#define THREAD_PRIORITY_TIME_CRITICAL 0
#define THREAD_PRIORITY_HIGHEST 1
#define THREAD_PRIORITY_ABOVE_NORMAL 2
#define THREAD_PRIORITY_NORMAL 3
#define THREAD_PRIORITY_BELOW_NORMAL 4
#define THREAD_PRIORITY_LOWEST 5
#define THREAD_PRIORITY_ABOVE_IDLE 6
#define THREAD_PRIORITY_IDLE 7
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
#define DLL_PROCESS_EXITING 4

#ifndef RC_INVOKED
typedef DWORD(WINAPI* PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;

// The lock itself lives in Storage; LockCount and OwnerThread describe it (OwnerThread holds the owner's
// thread id, written with atomic stores so that other threads may read it through std::atomic_ref).
typedef struct CRITICAL_SECTION {
    unsigned int LockCount;
    HANDLE OwnerThread;
    HANDLE hCrit;
    DWORD needtrap;
    DWORD dwContentions;
    alignas(8) unsigned char Storage[48];
} CRITICAL_SECTION, *PCRITICAL_SECTION, *LPCRITICAL_SECTION;
#endif

// ---- memory -----------------------------------------------------------------------------------------------

#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define NONZEROLPTR LMEM_FIXED

// ---- files and devices ------------------------------------------------------------------------------------

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

#ifndef RC_INVOKED
typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;
#endif

// ---- serial communication ---------------------------------------------------------------------------------

#define EV_RXCHAR 0x0001u
#define EV_RXFLAG 0x0002u
#define EV_TXEMPTY 0x0004u
#define EV_CTS 0x0008u
#define EV_DSR 0x0010u
#define EV_RLSD 0x0020u
#define EV_BREAK 0x0040u
#define EV_ERR 0x0080u
#define EV_RING 0x0100u
#define EV_PERR 0x0200u
#define EV_RX80FULL 0x0400u
#define EV_EVENT1 0x0800u
#define EV_EVENT2 0x1000u
#define EV_POWER 0x2000u

#define MS_CTS_ON 0x0010u
#define MS_DSR_ON 0x0020u
#define MS_RING_ON 0x0040u
#define MS_RLSD_ON 0x0080u

#define PURGE_TXABORT 0x0001u
#define PURGE_RXABORT 0x0002u
#define PURGE_TXCLEAR 0x0004u
#define PURGE_RXCLEAR 0x0008u

#define CE_RXOVER 0x0001u
#define CE_OVERRUN 0x0002u
#define CE_RXPARITY 0x0004u
#define CE_FRAME 0x0008u
#define CE_BREAK 0x0010u
#define CE_TXFULL 0x0100u
#define CE_PTO 0x0200u
#define CE_IOE 0x0400u
#define CE_DNS 0x0800u
#define CE_OOP 0x1000u
#define CE_MODE 0x8000u

// EscapeCommFunction codes.
#define SETXOFF 1
#define SETXON 2
#define SETRTS 3
#define CLRRTS 4
#define SETDTR 5
#define CLRDTR 6
#define RESETDEV 7
#define SETBREAK 8
#define CLRBREAK 9
#define SETIR 10
#define CLRIR 11

#define DTR_CONTROL_DISABLE 0x00
#define DTR_CONTROL_ENABLE 0x01
#define DTR_CONTROL_HANDSHAKE 0x02
#define RTS_CONTROL_DISABLE 0x00
#define RTS_CONTROL_ENABLE 0x01
#define RTS_CONTROL_HANDSHAKE 0x02
#define RTS_CONTROL_TOGGLE 0x03

#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define MARKPARITY 3
#define SPACEPARITY 4
#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2

#define CBR_110 110
#define CBR_300 300
#define CBR_600 600
#define CBR_1200 1200
#define CBR_2400 2400
#define CBR_4800 4800
#define CBR_9600 9600
#define CBR_14400 14400
#define CBR_19200 19200
#define CBR_38400 38400
#define CBR_56000 56000
#define CBR_57600 57600
#define CBR_115200 115200
#define CBR_128000 128000
#define CBR_256000 256000

// COMMPROP fields.
#define COMMPROP_INITIALIZED 0xE73CF52Eu
#define SP_SERIALCOMM 0x00000001u
#define PST_UNSPECIFIED 0x00000000u
#define PST_RS232 0x00000001u
#define PST_PARALLELPORT 0x00000002u
#define PST_RS422 0x00000003u
#define PST_RS423 0x00000004u
#define PST_RS449 0x00000005u
#define PST_MODEM 0x00000006u
#define PST_FAX 0x00000021u
#define PST_SCANNER 0x00000022u
#define PST_NETWORK_BRIDGE 0x00000100u
#define PST_LAT 0x00000101u
#define PST_TCPIP_TELNET 0x00000102u
#define PST_X25 0x00000103u
#define PCF_DTRDSR 0x0001u
#define PCF_RTSCTS 0x0002u
#define PCF_RLSD 0x0004u
#define PCF_PARITY_CHECK 0x0008u
#define PCF_XONXOFF 0x0010u
#define PCF_SETXCHAR 0x0020u
#define PCF_TOTALTIMEOUTS 0x0040u
#define PCF_INTTIMEOUTS 0x0080u
#define PCF_SPECIALCHARS 0x0100u
#define PCF_16BITMODE 0x0200u
#define SP_PARITY 0x0001u
#define SP_BAUD 0x0002u
#define SP_DATABITS 0x0004u
#define SP_STOPBITS 0x0008u
#define SP_HANDSHAKING 0x0010u
#define SP_PARITY_CHECK 0x0020u
#define SP_RLSD 0x0040u
#define BAUD_075 0x00000001u
#define BAUD_110 0x00000002u
#define BAUD_134_5 0x00000004u
#define BAUD_150 0x00000008u
#define BAUD_300 0x00000010u
#define BAUD_600 0x00000020u
#define BAUD_1200 0x00000040u
#define BAUD_1800 0x00000080u
#define BAUD_2400 0x00000100u
#define BAUD_4800 0x00000200u
#define BAUD_7200 0x00000400u
#define BAUD_9600 0x00000800u
#define BAUD_14400 0x00001000u
#define BAUD_19200 0x00002000u
#define BAUD_38400 0x00004000u
#define BAUD_56K 0x00008000u
#define BAUD_128K 0x00010000u
#define BAUD_115200 0x00020000u
#define BAUD_57600 0x00040000u
#define BAUD_USER 0x10000000u
#define DATABITS_5 0x0001u
#define DATABITS_6 0x0002u
#define DATABITS_7 0x0004u
#define DATABITS_8 0x0008u
#define DATABITS_16 0x0010u
#define DATABITS_16X 0x0020u
#define STOPBITS_10 0x0001u
#define STOPBITS_15 0x0002u
#define STOPBITS_20 0x0004u
#define PARITY_NONE 0x0100u
#define PARITY_ODD 0x0200u
#define PARITY_EVEN 0x0400u
#define PARITY_MARK 0x0800u
#define PARITY_SPACE 0x1000u

#ifndef RC_INVOKED
typedef struct _DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
} DCB, *LPDCB;

typedef struct _COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
} COMMTIMEOUTS, *LPCOMMTIMEOUTS;

typedef struct _COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
} COMSTAT, *LPCOMSTAT;

typedef struct _COMMPROP {
    WORD wPacketLength;
    WORD wPacketVersion;
    DWORD dwServiceMask;
    DWORD dwReserved1;
    DWORD dwMaxTxQueue;
    DWORD dwMaxRxQueue;
    DWORD dwMaxBaud;
    DWORD dwProvSubType;
    DWORD dwProvCapabilities;
    DWORD dwSettableParams;
    DWORD dwSettableBaud;
    WORD wSettableData;
    WORD wSettableStopParity;
    DWORD dwCurrentTxQueue;
    DWORD dwCurrentRxQueue;
    DWORD dwProvSpec1;
    DWORD dwProvSpec2;
    WCHAR wcProvChar[1];
} COMMPROP, *LPCOMMPROP;

static_assert(sizeof(DCB) == 28, "DCB is 28 bytes");
static_assert(offsetof(DCB, BaudRate) == 4 && offsetof(DCB, wReserved) == 12 && offsetof(DCB, XonLim) == 14 &&
                  offsetof(DCB, XoffLim) == 16 && offsetof(DCB, ByteSize) == 18 &&
                  offsetof(DCB, XonChar) == 21 && offsetof(DCB, EvtChar) == 25 &&
                  offsetof(DCB, wReserved1) == 26,
              "DCB layout");
static_assert(sizeof(COMMTIMEOUTS) == 20, "COMMTIMEOUTS is 20 bytes");
static_assert(sizeof(COMSTAT) == 12 && offsetof(COMSTAT, cbInQue) == 4 && offsetof(COMSTAT, cbOutQue) == 8,
              "COMSTAT layout");
static_assert(sizeof(COMMPROP) == 64, "COMMPROP is 64 bytes");
static_assert(offsetof(COMMPROP, dwServiceMask) == 4 && offsetof(COMMPROP, dwMaxBaud) == 20 &&
                  offsetof(COMMPROP, dwSettableBaud) == 36 && offsetof(COMMPROP, wSettableData) == 40 &&
                  offsetof(COMMPROP, dwCurrentTxQueue) == 44 && offsetof(COMMPROP, wcProvChar) == 60,
              "COMMPROP layout");
#endif

// ---- modules and resources --------------------------------------------------------------------------------

#define MAKEINTRESOURCEW(i) ((LPWSTR)(ULONG_PTR)((WORD)(i)))
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

#define RT_CURSOR MAKEINTRESOURCE(1)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_FONTDIR MAKEINTRESOURCE(7)
#define RT_FONT MAKEINTRESOURCE(8)
#define RT_ACCELERATOR MAKEINTRESOURCE(9)
#define RT_RCDATA MAKEINTRESOURCE(10)
#define RT_MESSAGETABLE MAKEINTRESOURCE(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCE(12)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)
#define RT_VERSION MAKEINTRESOURCE(16)
#define RT_HTML MAKEINTRESOURCE(23)
#define RT_MANIFEST MAKEINTRESOURCE(24)

#ifndef RC_INVOKED
typedef HANDLE HGLOBAL;
typedef struct HRSRC__* HRSRC;

// ---- functions --------------------------------------------------------------------------------------------

CE_BEGIN_DECLS

// last error
CEAPI DWORD WINAPI GetLastError(void);
CEAPI void WINAPI SetLastError(DWORD dwErrCode);

// handles and waits
CEAPI BOOL WINAPI CloseHandle(HANDLE hObject);
CEAPI DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
CEAPI DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                          DWORD dwMilliseconds);

// events
CEAPI HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                 BOOL bInitialState, LPCWSTR lpName);
CEAPI BOOL WINAPI SetEvent(HANDLE hEvent);
CEAPI BOOL WINAPI ResetEvent(HANDLE hEvent);
CEAPI BOOL WINAPI PulseEvent(HANDLE hEvent);

// threads
CEAPI HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                                 LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                 DWORD dwCreationFlags, LPDWORD lpThreadId);
CEAPI __attribute__((noreturn)) void WINAPI ExitThread(DWORD dwExitCode);
CEAPI BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
CEAPI HANDLE WINAPI GetCurrentThread(void);
CEAPI DWORD WINAPI GetCurrentThreadId(void);
CEAPI DWORD WINAPI GetCurrentProcessId(void);
CEAPI HANDLE WINAPI GetCurrentProcess(void);
CEAPI DWORD WINAPI ResumeThread(HANDLE hThread);
CEAPI DWORD WINAPI SuspendThread(HANDLE hThread);
CEAPI BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority);
CEAPI int WINAPI GetThreadPriority(HANDLE hThread);
CEAPI void WINAPI Sleep(DWORD dwMilliseconds);
CEAPI DWORD WINAPI GetTickCount(void);

// critical sections
CEAPI void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
CEAPI void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
CEAPI void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
CEAPI BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
CEAPI void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// interlocked operations (full barriers)
CEAPI LONG WINAPI InterlockedIncrement(LONG volatile* lpAddend);
CEAPI LONG WINAPI InterlockedDecrement(LONG volatile* lpAddend);
CEAPI LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value);
CEAPI LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comperand);
CEAPI LONG WINAPI InterlockedExchangeAdd(LONG volatile* Addend, LONG Value);
CEAPI PVOID WINAPI InterlockedExchangePointer(PVOID volatile* Target, PVOID Value);
CEAPI PVOID WINAPI InterlockedCompareExchangePointer(PVOID volatile* Destination, PVOID Exchange,
                                                     PVOID Comperand);

// memory
CEAPI HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
CEAPI HLOCAL WINAPI LocalFree(HLOCAL hMem);

// modules
CEAPI BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule);
// A module handle is the address where the module's image begins, as on the device. NULL names the program
// itself. A name without a '/' is compared case-insensitively with the file names
// of the loaded modules ("tulk" finds "tulk.dll" as on the device).
CEAPI HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
// The module's Linux path (with its '/'), truncated to nSize - 1 characters plus the terminator when the
// buffer is short: the answer is then nSize and the last error ERROR_INSUFFICIENT_BUFFER.
CEAPI DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

// resources compiled into a module (ce_add_resources); hModule NULL is the program's module
CEAPI HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
CEAPI HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
CEAPI LPVOID WINAPI LockResource(HGLOBAL hResData);
CEAPI DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);

// files and devices
CEAPI HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
CEAPI BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                           LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
CEAPI BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                            LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
CEAPI DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                  DWORD dwMoveMethod);
CEAPI BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                  DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                                  LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);

// serial communication, built on DeviceIoControl
CEAPI BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB);
CEAPI BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB);
CEAPI BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
CEAPI BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
CEAPI BOOL WINAPI GetCommMask(HANDLE hFile, LPDWORD lpEvtMask);
CEAPI BOOL WINAPI SetCommMask(HANDLE hFile, DWORD dwEvtMask);
CEAPI BOOL WINAPI WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask, LPOVERLAPPED lpOverlapped);
CEAPI BOOL WINAPI EscapeCommFunction(HANDLE hFile, DWORD dwFunc);
CEAPI BOOL WINAPI GetCommModemStatus(HANDLE hFile, LPDWORD lpModemStat);
CEAPI BOOL WINAPI PurgeComm(HANDLE hFile, DWORD dwFlags);
CEAPI BOOL WINAPI ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat);
CEAPI BOOL WINAPI GetCommProperties(HANDLE hFile, LPCOMMPROP lpCommProp);
CEAPI BOOL WINAPI SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue);
CEAPI BOOL WINAPI TransmitCommChar(HANDLE hFile, char cChar);
CEAPI BOOL WINAPI SetCommBreak(HANDLE hFile);
CEAPI BOOL WINAPI ClearCommBreak(HANDLE hFile);

// wide strings (the device has no ANSI API)
CEAPI int WINAPI lstrlenW(LPCWSTR lpString);
CEAPI LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2);
CEAPI LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);
CEAPI LPWSTR WINAPI lstrcatW(LPWSTR lpString1, LPCWSTR lpString2);
CEAPI int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
CEAPI int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);
CEAPI int WINAPI wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);
CEAPI int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);

// The system's message for an error code. Supported: FORMAT_MESSAGE_FROM_SYSTEM, with
// FORMAT_MESSAGE_IGNORE_INSERTS and FORMAT_MESSAGE_ALLOCATE_BUFFER (lpBuffer then receives a LocalAlloc'd
// string, to be freed with LocalFree). The system's messages have no inserts and are in one language,
// whatever dwLanguageId asks for; each ends with "\r\n", as on Win32. Answers the characters stored without
// the NUL, or 0: ERROR_MR_MID_NOT_FOUND for a code without a message, ERROR_INSUFFICIENT_BUFFER when nSize
// characters cannot hold it, ERROR_INVALID_PARAMETER for other flags.
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF
CEAPI DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                  LPWSTR lpBuffer, DWORD nSize, va_list* Arguments);

// The program's entry point, written by the program and called by the platform's main()
// (CePlatform::winmain): the program's module, no previous instance, the arguments after the program's name
// joined by single blanks, SW_SHOWNORMAL.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd);

CE_END_DECLS
#endif

#define CreateEvent CreateEventW
#define CreateFile CreateFileW
#define GetModuleHandle GetModuleHandleW
#define GetModuleFileName GetModuleFileNameW
#define FindResource FindResourceW
#define lstrlen lstrlenW
#define lstrcpy lstrcpyW
#define lstrcpyn lstrcpynW
#define lstrcat lstrcatW
#define lstrcmp lstrcmpW
#define lstrcmpi lstrcmpiW
#define wsprintf wsprintfW
#define wvsprintf wvsprintfW
#define FormatMessage FormatMessageW
