// The device manager's record of running instances under Drivers\Active, which programs enumerate to
// learn what runs: one volatile subkey per instance, numbered 01, 02, ... with the lowest free number.
#pragma once

#include <mutex>
#include <string>

#include <windows.h>

namespace ce {

inline constexpr int kFirstActiveNumber = 1;
inline constexpr int kLastActiveNumber = 99;  // two digits

struct ActiveEntry {
    std::u16string deviceKey;  // the key path as ActivateDevice was given it
    std::u16string name;       // "COM5:"
    DWORD handle = 0;          // the device handle's value
};

class ActiveKeys {
  public:
    // Creates the lowest free Drivers\Active\NN with Key, Name and Hnd and answers its path relative to
    // HKEY_LOCAL_MACHINE. On failure nothing is left behind and the registry's error is answered;
    // ERROR_NO_SYSTEM_RESOURCES when every number is taken.
    LONG Create(const ActiveEntry& entry, std::u16string* path);

    // Removes a key Create made.
    void Remove(const std::u16string& path);

  private:
    std::mutex lock_;  // serialises choosing a number with creating its key
};

}  // namespace ce
