// A pair of virtual serial ports for the measurement: keys written as the manager writes them, in two free
// driver slots under two free names, and started through the device manager.
#pragma once

#include <memory>
#include <string>

#include <windows.h>

#include "byte_channel.h"

class SerialPair {
  public:
    // Writes Drivers\BuiltIn\TULK<slot> and TULK<slot + 1> for the ports of the two combined numbers (0..19:
    // COM0: .. COM9:, KMX0: .. KMX9:) and activates both. The keys are volatile, so that a run that is
    // killed never leaves a pair kept on the device.
    SerialPair(LONG slot, DWORD firstNumber, DWORD secondNumber);
    // Stops both ends and removes their keys.
    ~SerialPair();
    SerialPair(const SerialPair&) = delete;
    SerialPair& operator=(const SerialPair&) = delete;

    bool ok() const { return problem_.empty(); }
    // What went wrong in one line, when not ok.
    const std::string& problem() const { return problem_; }
    // Opens both ends for reading and writing, with reads that return as soon as bytes are there.
    ByteChannel Open();
    // "COM5:" of end 0 or 1.
    const std::u16string& Name(DWORD end) const { return names_[end]; }

  private:
    bool Start(DWORD end, LONG slot, LONG partner, DWORD number);

    std::u16string keys_[2];
    std::u16string names_[2];
    HANDLE devices_[2] = {nullptr, nullptr};
    std::string problem_;
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
