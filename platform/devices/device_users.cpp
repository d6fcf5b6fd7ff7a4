#include "devices/device_users.h"

#include "devices/device_manager.h"

namespace ce {
namespace {

thread_local DWORD tOpener = 0;  // 0: this process

}  // namespace

OpenerScope::OpenerScope(DWORD process) : previous_(tOpener) {
    tOpener = process;
}

OpenerScope::~OpenerScope() {
    tOpener = previous_;
}

DWORD Opener() {
    return tOpener != 0 ? tOpener : GetCurrentProcessId();
}

std::vector<DWORD> DeviceUsers(LPCWSTR name) {
    return DeviceManager::Instance().Users(name);
}

}  // namespace ce
