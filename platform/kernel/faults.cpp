#include "kernel/faults.h"

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

#include <ceplatform.h>

namespace ce {
namespace {

struct Fault {
    bool armed = false;
    DWORD skip = 0;
    DWORD error = 0;
};

struct FaultTable {
    std::mutex lock;
    std::array<Fault, static_cast<size_t>(FaultPoint::Count)> faults;
    std::atomic<int> armedCount{0};
};

FaultTable& Faults() {
    static FaultTable* table = new FaultTable;
    return *table;
}

constexpr std::array<const char*, static_cast<size_t>(FaultPoint::Count)> kPointNames = {
    "RegCreateKeyExW", "RegOpenKeyExW",    "RegDeleteKeyW", "RegSetValueExW", "RegDeleteValueW",
    "ActivateDevice",  "DeactivateDevice", "CreateEventW",  "CreateThread",   "LocalAlloc",
    "LoadModule",      "HiveRename",       "CallRegion",
};

}  // namespace

bool FaultFires(FaultPoint point, DWORD* error) {
    FaultTable& table = Faults();
    if (table.armedCount.load(std::memory_order_acquire) == 0) {
        return false;
    }
    std::lock_guard<std::mutex> guard(table.lock);
    Fault& fault = table.faults[static_cast<size_t>(point)];
    if (!fault.armed) {
        return false;
    }
    if (fault.skip > 0) {
        --fault.skip;
        return false;
    }
    fault.armed = false;
    table.armedCount.fetch_sub(1, std::memory_order_release);
    if (error != nullptr) {
        *error = fault.error;
    }
    return true;
}

void ClearFaults() {
    FaultTable& table = Faults();
    std::lock_guard<std::mutex> guard(table.lock);
    for (Fault& fault : table.faults) {
        fault = Fault{};
    }
    table.armedCount.store(0, std::memory_order_release);
}

}  // namespace ce

extern "C" {

BOOL CePlatformInjectFault(const char* point, DWORD skipCalls, DWORD error) {
    if (point == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (size_t i = 0; i < ce::kPointNames.size(); ++i) {
        if (std::strcmp(point, ce::kPointNames[i]) == 0) {
            ce::FaultTable& table = ce::Faults();
            std::lock_guard<std::mutex> guard(table.lock);
            ce::Fault& fault = table.faults[i];
            if (!fault.armed) {
                table.armedCount.fetch_add(1, std::memory_order_release);
            }
            fault = ce::Fault{true, skipCalls, error};
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

void CePlatformClearFaults(void) {
    ce::ClearFaults();
}

}  // extern "C"
