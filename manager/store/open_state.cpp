// Whether an application has a port open: asked of the driver through a query-only open (access 0), which
// the driver does not count as a use of the port.
#include "store/port_list.h"

namespace {

// The driver's open-state query: the answer comes in the bytes-returned word, 1 when the port is open for
// reading or writing. Drivers that do not know the code (physical ports) refuse it.
constexpr DWORD kIoctlOpenState = 0x001B006C;

}  // namespace

DWORD PortList::IsPortOpen(const PortEntry* entry) const {
    if (entry == nullptr || entry->portNumber < 0 || entry->portNumber >= kNumbersPerFamily) {
        return 0;
    }
    WCHAR name[kDeviceNameChars];
    wsprintfW(name, u"%s%d:", entry->prefix, entry->portNumber);
    HANDLE port = CreateFileW(name, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD answer = 0;
    const BOOL answered = DeviceIoControl(port, kIoctlOpenState, nullptr, 0, nullptr, 0, &answer, nullptr);
    CloseHandle(port);
    return answered && answer != 0 ? 1 : 0;
}
