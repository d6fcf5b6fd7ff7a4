// The device host's wire protocol: what a program and the host say to each other over the device's socket.
//
// Every message, request or reply, starts with a MessageHeader (its whole size and its operation) and goes
// as one or more SOCK_SEQPACKET records of at most kRecordBytes: the header's size tells the receiver how
// many bytes follow. A message over kMaxMessageBytes is never read: the receiver ends that connection.
// Operation fields follow in the order each operation lists, encoded by wire.h; the host checks every one
// (a truncated, overlong or inconsistent request fails with ERROR_INVALID_PARAMETER).
//
// A connection's first message says what it is for (a Hello*): the program's session, one thread's calls
// bound to a session, or a control of the host itself. It must come within kHelloTimeoutMs and fit in
// kMaxHelloBytes. The host answers it with the same operation, or with Refused and the reason, and then
// ends the connection.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ce::wire {

inline constexpr uint32_t kProtocolVersion = 5;

// Records stay well under the smallest default socket send buffer (about 208 KiB) so that no system
// setting is needed.
inline constexpr size_t kRecordBytes = 128 * 1024;
inline constexpr size_t kMaxMessageBytes = 4 * 1024 * 1024;
// A call connection's shared memory (call_region.h) holds one request and one reply of at most this size;
// a larger message travels over the socket.
inline constexpr uint32_t kRegionAreaBytes = 256 * 1024;
// ReadFile and WriteFile cross in pieces of at most this many bytes, so that a piece and its fields fit the
// region; longer transfers are split by the program, each piece a driver call of its own.
inline constexpr uint32_t kTransferPieceBytes = kRegionAreaBytes - 4096;
// Data and buffers of one call (registry values, I/O control buffers) must fit in a message with room to
// spare for the other fields.
inline constexpr uint32_t kMaxCallDataBytes = kMaxMessageBytes - 64 * 1024;

inline constexpr size_t kTokenBytes = 16;

inline constexpr size_t kMaxHelloBytes = 256;
// How long the host waits for a connection's hello, and a program for the host's answer to one (a frozen
// host fails a program's start instead of hanging it; a call already sent waits as long as the call does).
inline constexpr int kHelloTimeoutMs = 5000;

inline constexpr size_t kMaxWindowTextChars = 256;
inline constexpr size_t kMaxWindowsPerSession = 4096;

// A key handle the host's call left as it was (handle values fit in 31 bits).
inline constexpr uint32_t kUntouchedKey = 0xFFFFFFFFu;

// HKEY_CLASSES_ROOT .. HKEY_USERS cross as they are: they are the same in every process.
inline constexpr bool IsRootKeyValue(uintptr_t value) {
    return value >= 0x80000000u && value <= 0x80000003u;
}

struct MessageHeader {
    uint32_t size;  // of the whole message, header included
    uint16_t op;    // an Op; a reply repeats its request's
    // In a call, the processor the calling thread ran on, plus one (0: not said). Only a hint: the host
    // serves the call on that processor while the caller waits for the reply (see call_scheduling.h).
    uint16_t processor;
};
static_assert(sizeof(MessageHeader) == 8);

enum class Op : uint32_t {
    // First message of a connection.
    HelloSession = 1,  // u32 version -> token
    HelloCall,         // u32 version, token, with a call region's memfd or none -> u32 region taken
                       // (1: calls go through the region; 0: through the socket); the peer must be the
                       // session's process
    HelloControl,      // u32 version -> (nothing)
    HelloWindows,      // u32 version, token -> (nothing); then the host sends the session's window requests
    Refused,           // host only, instead of a hello's answer: u32 error (why); the connection ends

    // Registry calls; key handles are u32 (predefined roots as they are).
    RegCreateKey = 16,
    RegOpenKey,
    RegCloseKey,
    RegDeleteKey,
    RegEnumKey,
    RegQueryInfoKey,
    RegFlushKey,
    RegSetValue,
    RegQueryValue,
    RegEnumValue,
    RegDeleteValue,
    RegImport,  // a .reg document (see document_wire.h) -> u32 error, u32 line, bytes why (UTF-8)

    // Device manager and device files; handles are u32.
    ActivateDevice = 48,
    DeactivateDevice,
    OpenFile,
    CloseFile,
    ReadFile,
    WriteFile,
    SeekFile,
    IoControl,
    PowerDown,
    PowerUp,
    DeviceUsers,  // string name -> error fields, u32 count, u32 process ... (each process once)

    // Top-level windows of programs. A window is the owner's own u32 value; other programs name it by the
    // host's u64 id. Class names and titles are at most kMaxWindowTextChars characters; a null one (a name
    // too long to publish) is matched only by a lookup that leaves it out. The owner's listener gets
    // WindowShow as u32 window, u32 command and WindowForeground as u32 window.
    WindowPublish = 64,  // u32 window, string class, string title, u32 visible, u32 thread -> u32 error
    WindowWithdraw,      // u32 window -> (nothing)
    WindowFind,          // string class, string title -> u64 id (0: none); another program's windows only
    WindowQuery,         // u64 id -> u32 alive, u32 visible, string title, u32 process, u32 thread
    WindowShow,          // u64 id, u32 command -> u32 error, u32 was visible
    WindowForeground,    // u64 id -> u32 error

    // Controls of the host (control connections only).
    Status = 80,  // -> u32 pid, u32 sessions, u32 active devices, then each one's string name, string key
    Stop,         // deactivates every device, answers, and the host exits
};

}  // namespace ce::wire
