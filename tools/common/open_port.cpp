#include "open_port.h"

HANDLE OpenPortByName(const std::string& name) {
    const std::u16string wide(name.begin(), name.end());  // port names are ASCII
    return CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}
