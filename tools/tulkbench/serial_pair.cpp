#include "serial_pair.h"

#include <stdexcept>
#include <string>

#include "error_text.h"
#include "store/port_entry.h"
#include "store/virtual_port_key.h"

namespace {

std::string Narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

HANDLE OpenPort(const std::u16string& name) {
    HANDLE port =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        // Return as soon as anything arrived, waiting up to a second for the first byte.
        COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 1000, 0, 0};
        SetCommTimeouts(port, &timeouts);
    }
    return port;
}

}  // namespace

SerialPair::SerialPair(LONG slot, DWORD firstNumber, DWORD secondNumber) {
    if (Start(0, slot, slot + 1, firstNumber)) {
        Start(1, slot + 1, slot, secondNumber);
    }
}

bool SerialPair::Start(DWORD end, LONG slot, LONG partner, DWORD number) {
    WCHAR text[kKeyPathChars];
    FormatVirtualPortKey(text, slot);
    keys_[end] = text;
    FormatVirtualPortName(text, number);
    names_[end] = text;
    HKEY key = nullptr;
    const LONG created = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keys_[end].c_str(), 0, nullptr,
                                         REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (created != ERROR_SUCCESS) {
        problem_ =
            "cannot write the key " + Narrow(keys_[end]) + ": " + Win32ErrorText(static_cast<DWORD>(created));
        keys_[end].clear();
        return false;
    }
    WriteVirtualPortValues(key, number, partner, slot);
    RegCloseKey(key);
    devices_[end] = ActivateDevice(keys_[end].c_str(), 0);
    if (devices_[end] == nullptr) {
        const DWORD error = GetLastError();
        problem_ = "cannot start " + Narrow(names_[end]) + " from " + Narrow(keys_[end]) + ": " +
                   Win32ErrorText(error);
        return false;
    }
    return true;
}

SerialPair::~SerialPair() {
    for (DWORD end = 0; end < 2; ++end) {
        if (devices_[end] != nullptr) {
            DeactivateDevice(devices_[end]);
        }
        if (!keys_[end].empty()) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, keys_[end].c_str());
        }
    }
}

ByteChannel SerialPair::Open() {
    std::unique_ptr<PortEnd> a = PortEnd::Open(Name(0));
    std::unique_ptr<PortEnd> b = PortEnd::Open(Name(1));
    if (!a || !b || !a->UseHardwareFlowControl() || !b->UseHardwareFlowControl()) {
        throw std::runtime_error("cannot open the pair with flow control");
    }
    return ByteChannel{"tulk pair", std::move(a), std::move(b)};
}

std::unique_ptr<PortEnd> PortEnd::Open(const std::u16string& name) {
    HANDLE port = OpenPort(name);
    return port != INVALID_HANDLE_VALUE ? std::unique_ptr<PortEnd>(new PortEnd(port)) : nullptr;
}

PortEnd::~PortEnd() {
    CloseHandle(port_);
}

bool PortEnd::WriteAll(const uint8_t* data, size_t size) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(port_, data, static_cast<DWORD>(size), &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

size_t PortEnd::ReadSome(uint8_t* data, size_t size) {
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(port_, data, static_cast<DWORD>(size), &read, nullptr)) {
            return 0;
        }
        if (read > 0) {
            return read;
        }
    }
}

// RTS/CTS flow control, as any lossless transfer over a serial line needs: without it a writer faster than
// its reader overruns the 2 KiB receive ring.
bool PortEnd::UseHardwareFlowControl() {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    GetCommState(port_, &dcb);
    dcb.BaudRate = CBR_115200;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fOutxCtsFlow = TRUE;
    return SetCommState(port_, &dcb) != FALSE;
}
