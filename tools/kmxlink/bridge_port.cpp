#include "bridge_port.h"

#include "error_text.h"
#include "open_port.h"

namespace {

// Reads return as soon as a byte is there and otherwise wait as long as a timeout can say; a Close ends
// them. Writes wait as long as flow control holds them.
constexpr COMMTIMEOUTS kBridgeTimeouts{MAXDWORD, MAXDWORD, MAXDWORD - 1, 0, 0};

// What a bridge must not do to the bytes it carries: drop NULs, replace bad ones, stop on errors, or drop
// what arrives while DSR is off.
void CarryBytesUnchanged(DCB& dcb) {
    dcb.fBinary = TRUE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDsrSensitivity = FALSE;
}

}  // namespace

std::string PortName(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    if (text.empty() || text.back() != ':') {
        text.push_back(':');
    }
    return text;
}

BridgePort::~BridgePort() {
    Close();
}

bool BridgePort::Open(const std::string& name, std::string* error) {
    Close();
    name_ = name;
    handle_ = OpenPortByName(name);
    if (handle_ == INVALID_HANDLE_VALUE) {
        *error = OpenFailureWords(name, GetLastError());
        return false;
    }
    COMMTIMEOUTS timeouts = kBridgeTimeouts;
    if (!SetCommTimeouts(handle_, &timeouts) || !Change(CarryBytesUnchanged)) {
        *error = name + " cannot be set up: " + Win32ErrorText(GetLastError());
        Close();
        return false;
    }
    dtr_ = true;
    rts_ = true;
    break_ = false;
    return true;
}

void BridgePort::Close() {
    if (handle_ == INVALID_HANDLE_VALUE) {
        return;
    }
    // A port keeps its lines as they were when it closes; the other end must see them drop, as when a
    // cable is unplugged. Through the settings, which also take the lines out of a handshake.
    Change([](DCB& dcb) {
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
    });
    if (break_) {
        ClearCommBreak(handle_);
    }
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

DCB BridgePort::Settings() {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(handle_, &dcb)) {
        dcb = DCB{};
    }
    return dcb;
}

bool BridgePort::Change(const std::function<void(DCB&)>& edit, DCB* inEffect) {
    DCB before{};
    before.DCBlength = sizeof(before);
    bool ok = GetCommState(handle_, &before) != FALSE;
    if (ok) {
        DCB wanted = before;
        edit(wanted);
        ok = SetCommState(handle_, &wanted) != FALSE;
        if (!ok) {
            // A refusal may come after the driver took part of the settings: give it back all it had.
            const DWORD refusal = GetLastError();
            SetCommState(handle_, &before);
            SetLastError(refusal);
        }
    }
    if (inEffect != nullptr) {
        *inEffect = Settings();
    }
    return ok;
}

// Through the settings rather than EscapeCommFunction: every later SetCommState sets the lines again as the
// settings say, so the settings must say what we want.
bool BridgePort::SetDtr(bool on) {
    return SetLine(&dtr_, on, Settings().fDtrControl == DTR_CONTROL_HANDSHAKE,
                   [on](DCB& dcb) { dcb.fDtrControl = on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE; });
}

bool BridgePort::SetRts(bool on) {
    return SetLine(&rts_, on, Settings().fRtsControl == RTS_CONTROL_HANDSHAKE,
                   [on](DCB& dcb) { dcb.fRtsControl = on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE; });
}

bool BridgePort::SetLine(bool* line, bool on, bool handshake, const std::function<void(DCB&)>& edit) {
    if (handshake) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!Change(edit)) {
        return false;
    }
    *line = on;
    return true;
}

bool BridgePort::SetBreak(bool on) {
    if (!(on ? SetCommBreak(handle_) : ClearCommBreak(handle_))) {
        return false;
    }
    break_ = on;
    return true;
}

DWORD BridgePort::ModemStatus() {
    DWORD status = 0;
    return GetCommModemStatus(handle_, &status) ? status : 0;
}

DWORD BridgePort::TakeErrors(COMSTAT* status) {
    DWORD errors = 0;
    if (!ClearCommError(handle_, &errors, status)) {
        *status = COMSTAT{};
        return 0;
    }
    return errors;
}

void BridgePort::Purge(DWORD flags) {
    PurgeComm(handle_, flags);
}
