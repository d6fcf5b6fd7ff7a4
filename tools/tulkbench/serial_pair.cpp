#include "serial_pair.h"

#include <stdexcept>
#include <string>

namespace {

constexpr BYTE kDevConfig[25] = {0x10, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x10, 0x01, 0x00, 0x00, 0x00,
                                 0x4B, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

std::u16string KeyPath(DWORD index) {
    WCHAR path[64];
    wsprintfW(path, u"Drivers\\BuiltIn\\TULK%u", index);
    return path;
}

void SetDword(HKEY key, LPCWSTR name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void SetString(HKEY key, LPCWSTR name, LPCWSTR value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(WCHAR)));
}

bool WritePortKey(DWORD index, DWORD partner, DWORD comNumber) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, KeyPath(index).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    WCHAR friendly[64];
    wsprintfW(friendly, u"Virtual port COM%u", comNumber);
    SetDword(key, u"Priority", 0);
    SetDword(key, u"DeviceArrayIndex", index);
    SetDword(key, u"KMXPair", partner);
    SetDword(key, u"Index", comNumber);
    SetString(key, u"Prefix", u"COM");
    SetString(key, u"Dll", u"tulk.dll");
    SetDword(key, u"DeviceType", 0);
    SetString(key, u"Tsp", u"Unimodem.dll");
    SetString(key, u"FriendlyName", friendly);
    RegSetValueExW(key, u"DevConfig", 0, REG_BINARY, kDevConfig, sizeof(kDevConfig));
    RegCloseKey(key);
    return true;
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

SerialPair::SerialPair(DWORD firstIndex, DWORD firstComNumber) : firstComNumber_(firstComNumber) {
    for (DWORD end = 0; end < 2; ++end) {
        const DWORD index = firstIndex + end;
        if (!WritePortKey(index, index ^ 1, firstComNumber + end)) {
            return;
        }
        devices_[end] = ActivateDevice(KeyPath(index).c_str(), 0);
    }
}

SerialPair::~SerialPair() {
    for (HANDLE device : devices_) {
        if (device != nullptr) {
            DeactivateDevice(device);
        }
    }
}

std::u16string SerialPair::Name(DWORD end) const {
    WCHAR name[16];
    wsprintfW(name, u"COM%u:", firstComNumber_ + end);
    return name;
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
