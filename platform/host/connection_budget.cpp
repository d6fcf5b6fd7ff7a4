#include "host/connection_budget.h"

#include <sys/resource.h>

#include <algorithm>

namespace ce::host {
namespace {

size_t DescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return kMaxConnections + kHostOwnDescriptors;
    }
    return static_cast<size_t>(limit.rlim_cur);
}

}  // namespace

ConnectionLimits LimitsFor(size_t descriptorLimit) {
    ConnectionLimits limits{};
    limits.total = descriptorLimit > kHostOwnDescriptors
                       ? std::min(descriptorLimit - kHostOwnDescriptors, kMaxConnections)
                       : 0;
    limits.programs = limits.total > kControlConnections ? limits.total - kControlConnections : 0;
    limits.perProgram = std::max<size_t>(1, std::min(kMaxConnectionsPerProgram, limits.programs / 2));
    return limits;
}

DWORD ConnectionBudget::Admit(pid_t pid) {
    const ConnectionLimits limits = LimitsFor(DescriptorLimit());
    std::lock_guard<std::mutex> guard(lock_);
    if (total_ >= limits.total) {
        return ERROR_NO_SYSTEM_RESOURCES;
    }
    const auto found = perProgram_.find(pid);
    if (found != perProgram_.end() && found->second >= limits.perProgram) {
        return ERROR_NOT_ENOUGH_QUOTA;
    }
    ++perProgram_[pid];
    ++total_;
    return ERROR_SUCCESS;
}

DWORD ConnectionBudget::AdmitProgram() {
    const ConnectionLimits limits = LimitsFor(DescriptorLimit());
    std::lock_guard<std::mutex> guard(lock_);
    if (programs_ >= limits.programs) {
        return ERROR_NO_SYSTEM_RESOURCES;
    }
    ++programs_;
    return ERROR_SUCCESS;
}

void ConnectionBudget::Leave(pid_t pid, bool program) {
    std::lock_guard<std::mutex> guard(lock_);
    --total_;
    if (program) {
        --programs_;
    }
    const auto found = perProgram_.find(pid);
    if (found != perProgram_.end() && --found->second == 0) {
        perProgram_.erase(found);
    }
}

ConnectionBudget& Budget() {
    static ConnectionBudget* budget = new ConnectionBudget;
    return *budget;
}

}  // namespace ce::host
