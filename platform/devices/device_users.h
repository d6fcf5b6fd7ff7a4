// Which programs hold a device open: the opener of each device file, kept with the device.
#pragma once

#include <windows.h>

#include <vector>

namespace ce {

// The process the device files this thread opens are held for: this one, unless the host, serving a
// program's call, names the program for the time of the call.
class OpenerScope {
  public:
    explicit OpenerScope(DWORD process);
    ~OpenerScope();
    OpenerScope(const OpenerScope&) = delete;
    OpenerScope& operator=(const OpenerScope&) = delete;

  private:
    DWORD previous_;
};

// The process a file opened now is for.
DWORD Opener();

// The processes that hold the device of that name open for reading or writing, each once, in order.
std::vector<DWORD> DeviceUsers(LPCWSTR name);

}  // namespace ce
