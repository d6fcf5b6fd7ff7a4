// The Linux side of naming a process: its command name as the kernel keeps it.
#include "process_name.h"

#include <fstream>

std::string ProcessName(DWORD processId) {
    std::ifstream comm("/proc/" + std::to_string(processId) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}
