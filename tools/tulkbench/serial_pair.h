// A pair of virtual serial ports activated from registry keys written as the manager writes them.
#pragma once

#include <memory>
#include <string>

#include <windows.h>

#include "byte_channel.h"

class SerialPair {
  public:
    // Writes Drivers\BuiltIn\TULK<first> and TULK<first+1> (COM<n>: and COM<n+1>:), activates both.
    SerialPair(DWORD firstIndex, DWORD firstComNumber);
    ~SerialPair();
    SerialPair(const SerialPair&) = delete;
    SerialPair& operator=(const SerialPair&) = delete;

    bool ok() const { return devices_[0] != nullptr && devices_[1] != nullptr; }
    // Opens both ends for reading and writing, with reads that return as soon as bytes are there.
    ByteChannel Open();
    // "COM<n>:" of end 0 or 1.
    std::u16string Name(DWORD end) const;

  private:
    HANDLE devices_[2] = {nullptr, nullptr};
    DWORD firstComNumber_;
};

// One end of the pair, opened for reading and writing, with reads that return as soon as bytes are there.
class PortEnd : public ByteEnd {
  public:
    // nullptr (the error set) when the port cannot be opened.
    static std::unique_ptr<PortEnd> Open(const std::u16string& name);
    ~PortEnd() override;
    PortEnd(const PortEnd&) = delete;
    PortEnd& operator=(const PortEnd&) = delete;

    bool WriteAll(const uint8_t* data, size_t size) override;
    size_t ReadSome(uint8_t* data, size_t size) override;
    // Takes up RTS/CTS handshake, raising RTS for the partner. Done once both ends are open: a port's
    // first open starts with CTS off, whatever its partner did with RTS before.
    bool UseHardwareFlowControl();

  private:
    explicit PortEnd(HANDLE port) : port_(port) {}
    HANDLE port_;
};
