#include "serial_port.h"

#include <vector>

#include "open_port.h"

namespace {

constexpr size_t kReceiveChunkBytes = 4096;

}  // namespace

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Open(const std::string& name, const PortSettings& settings, DWORD* error,
                      std::string* what) {
    Close();
    name_ = name;
    handle_ = OpenPortByName(name);
    if (handle_ == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        *what = "cannot open";
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(handle_, &dcb)) {
        *error = GetLastError();
        *what = "cannot read the settings";
        return false;
    }
    ApplySettings(settings, &dcb);
    if (!SetCommState(handle_, &dcb)) {
        *error = GetLastError();
        *what = "cannot apply " + DescribeSettings(settings);
        return false;
    }
    // Return as soon as anything arrived, or after the poll time with nothing; writes wait as long as
    // flow control holds them.
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, kReadPollMs, 0, 0};
    if (!SetCommTimeouts(handle_, &timeouts)) {
        *error = GetLastError();
        *what = "cannot set the timeouts";
        return false;
    }
    // The lines the settings leave to us are raised on open; handshaking lines start raised too.
    dtr_.store(true);
    rts_.store(true);
    return true;
}

void SerialPort::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

bool SerialPort::Read(void* buffer, DWORD size, DWORD* got) {
    *got = 0;
    return ReadFile(handle_, buffer, size, got, nullptr) != FALSE;
}

SerialPort::ReceiveEnd SerialPort::ReceiveUntil(const std::atomic<bool>& stop,
                                                const std::function<bool(std::string_view)>& deliver) {
    std::vector<char> buffer(kReceiveChunkBytes);
    while (!stop.load()) {
        DWORD got = 0;
        if (!Read(buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
            return ReceiveEnd::PortFailed;
        }
        if (got > 0 && !deliver(std::string_view(buffer.data(), got))) {
            return ReceiveEnd::Refused;
        }
    }
    return ReceiveEnd::Stopped;
}

SerialPort::SendResult SerialPort::Send(const void* data, DWORD size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    SendResult result;
    while (result.sent < size) {
        DWORD written = 0;
        if (!WriteFile(handle_, bytes + result.sent, size - result.sent, &written, nullptr)) {
            result.end = SendEnd::Failed;
            return result;
        }
        // Without write timeouts a write that moves nothing found no reader: the port's normal answer
        // while the other end is closed.
        if (written == 0) {
            result.end = SendEnd::NoListener;
            return result;
        }
        result.sent += written;
    }
    return result;
}

bool SerialPort::WriteAll(const void* data, DWORD size) {
    const SendResult result = Send(data, size);
    if (result.end == SendEnd::NoListener) {
        SetLastError(ERROR_OPERATION_ABORTED);
    }
    return result.end == SendEnd::Sent;
}

DWORD SerialPort::OutputQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(handle_, &errors, &status) ? status.cbOutQue : 0;
}

DWORD SerialPort::ModemStatus() {
    DWORD status = 0;
    return GetCommModemStatus(handle_, &status) ? status : 0;
}

bool SerialPort::Toggle(std::atomic<bool>* line, int raiseCode, int lowerCode) {
    const bool raise = !line->load();
    if (!EscapeCommFunction(handle_, static_cast<DWORD>(raise ? raiseCode : lowerCode))) {
        return false;
    }
    line->store(raise);
    return true;
}

bool SerialPort::ToggleDtr() {
    return Toggle(&dtr_, SETDTR, CLRDTR);
}

bool SerialPort::ToggleRts() {
    return Toggle(&rts_, SETRTS, CLRRTS);
}

bool SerialPort::SendBreak(DWORD durationMs) {
    if (!SetCommBreak(handle_)) {
        return false;
    }
    Sleep(durationMs);
    return ClearCommBreak(handle_) != FALSE;
}

void SerialPort::AbortWrites() {
    PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
}
