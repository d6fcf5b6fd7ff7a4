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

class PortEnd : public ByteEnd {
  public:
    explicit PortEnd(HANDLE port) : port_(port) {}
    ~PortEnd() override { CloseHandle(port_); }

    bool WriteAll(const uint8_t* data, size_t size) override {
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

    size_t ReadSome(uint8_t* data, size_t size) override {
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

  private:
    HANDLE port_;
};

HANDLE OpenPort(DWORD comNumber) {
    WCHAR name[16];
    wsprintfW(name, u"COM%u:", comNumber);
    HANDLE port = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot open the port");
    }
    // Return as soon as anything arrived, waiting up to a second for the first byte.
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 1000, 0, 0};
    SetCommTimeouts(port, &timeouts);
    return port;
}

// RTS/CTS flow control, as any lossless transfer over a serial line needs: without it a writer faster than
// its reader overruns the 2 KiB receive ring. Set once both ends are open: a port's first open starts with
// CTS off, whatever its partner did with RTS before.
void UseHardwareFlowControl(HANDLE port) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    GetCommState(port, &dcb);
    dcb.BaudRate = CBR_115200;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fOutxCtsFlow = TRUE;
    if (!SetCommState(port, &dcb)) {
        throw std::runtime_error("cannot set the port's flow control");
    }
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

ByteChannel SerialPair::Open() {
    HANDLE a = OpenPort(firstComNumber_);
    HANDLE b = OpenPort(firstComNumber_ + 1);
    UseHardwareFlowControl(a);
    UseHardwareFlowControl(b);
    return ByteChannel{"tulk pair", std::make_unique<PortEnd>(a), std::make_unique<PortEnd>(b)};
}
