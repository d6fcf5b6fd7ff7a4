// One serial port opened by name as an application opens it, through the comm API alone.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include <windows.h>

#include "port_settings.h"

// Reads give up after this long without a byte, so the threads that read can notice they should stop.
inline constexpr DWORD kReadPollMs = 100;

class SerialPort {
  public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens name ("COM5:") for reading and writing and applies settings. False with *error (a Win32 code)
    // and *what (the step that failed) otherwise.
    bool Open(const std::string& name, const PortSettings& settings, DWORD* error, std::string* what);
    void Close();
    HANDLE handle() const { return handle_; }
    const std::string& name() const { return name_; }

    // Up to size bytes, as soon as any arrived, or 0 after kReadPollMs. False when the port fails.
    bool Read(void* buffer, DWORD size, DWORD* got);
    enum class ReceiveEnd { Stopped, PortFailed, Refused };
    // Reads and hands every piece to deliver until stop is set (Stopped), a read fails (PortFailed, with
    // GetLastError) or deliver answers false (Refused).
    ReceiveEnd ReceiveUntil(const std::atomic<bool>& stop,
                            const std::function<bool(std::string_view)>& deliver);
    enum class SendEnd {
        Sent,        // every byte went out
        NoListener,  // the port took no more: nobody has the other end open (or a purge aborted the write)
        Failed,      // the port refused the write (GetLastError says why)
    };
    struct SendResult {
        SendEnd end = SendEnd::Sent;
        DWORD sent = 0;  // bytes that went out before the end
    };
    // Writes until everything went out or the port takes no more.
    SendResult Send(const void* data, DWORD size);
    // Everything, or false: a port that takes no more answers ERROR_OPERATION_ABORTED.
    bool WriteAll(const void* data, DWORD size);
    // Bytes written but not yet taken by the other end.
    DWORD OutputQueued();
    // MS_* bits; 0 when the port cannot say.
    DWORD ModemStatus();

    bool dtr() const { return dtr_.load(); }
    bool rts() const { return rts_.load(); }
    // Flip our line; false (with GetLastError) when the port refuses, e.g. while the line does handshaking.
    bool ToggleDtr();
    bool ToggleRts();
    // Holds the line in the break state for durationMs.
    bool SendBreak(DWORD durationMs);
    // Ends a write blocked by flow control, for a quick exit.
    void AbortWrites();

  private:
    bool Toggle(std::atomic<bool>* line, int raiseCode, int lowerCode);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::string name_;
    std::atomic<bool> dtr_{false};
    std::atomic<bool> rts_{false};
};
