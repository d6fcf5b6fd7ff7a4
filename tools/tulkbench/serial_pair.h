// A pair of virtual serial ports activated from registry keys written as the manager writes them.
#pragma once

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

  private:
    HANDLE devices_[2] = {nullptr, nullptr};
    DWORD firstComNumber_;
};
