#include "host/session.h"

#include "host/window_directory.h"

#include <winreg.h>
#include <pkfuncs.h>

#include <vector>

namespace ce::host {

using namespace wire;
namespace {

uint32_t ValueOf(const void* handle) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

template <class Handle>
Handle HandleOf(uint32_t value) {
    return reinterpret_cast<Handle>(static_cast<uintptr_t>(value));
}

// Notifies the driver behind a dead program's file; whatever it answers, the file is closed next.
void NotifyExit(HANDLE file, pid_t pid) {
    DEVICE_PSL_NOTIFY packet{sizeof(DEVICE_PSL_NOTIFY), DLL_PROCESS_EXITING, static_cast<DWORD>(pid), 0};
    DWORD returned = 0;
    DeviceIoControl(file, IOCTL_PSL_NOTIFY, &packet, sizeof(packet), nullptr, 0, &returned, nullptr);
}

}  // namespace

HKEY Session::Key(uint32_t value) {
    if (IsRootKeyValue(value)) {
        return HandleOf<HKEY>(value);
    }
    std::lock_guard<std::mutex> guard(lock_);
    return keys_.count(value) != 0 ? HandleOf<HKEY>(value) : nullptr;
}

HANDLE Session::File(uint32_t value) {
    std::lock_guard<std::mutex> guard(lock_);
    return files_.count(value) != 0 ? HandleOf<HANDLE>(value) : nullptr;
}

bool Session::ReserveHandle() {
    std::lock_guard<std::mutex> guard(lock_);
    if (keys_.size() + files_.size() + reserved_ >= kMaxHandlesPerSession) {
        return false;
    }
    ++reserved_;
    return true;
}

void Session::ReturnHandle() {
    std::lock_guard<std::mutex> guard(lock_);
    --reserved_;
}

bool Session::AdoptKey(HKEY key) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        --reserved_;
        if (!ended_) {
            keys_.insert(ValueOf(key));
            return true;
        }
    }
    RegCloseKey(key);
    return false;
}

bool Session::AdoptFile(HANDLE file) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        --reserved_;
        if (!ended_) {
            files_.insert(ValueOf(file));
            return true;
        }
    }
    CloseHandle(file);
    return false;
}

bool Session::ReleaseKey(uint32_t value) {
    std::lock_guard<std::mutex> guard(lock_);
    return keys_.erase(value) != 0;
}

bool Session::ReleaseFile(uint32_t value) {
    std::lock_guard<std::mutex> guard(lock_);
    return files_.erase(value) != 0;
}

void Session::End() {
    std::set<uint32_t> files;
    std::set<uint32_t> keys;
    {
        std::lock_guard<std::mutex> guard(lock_);
        ended_ = true;
        files.swap(files_);
        keys.swap(keys_);
    }
    // Its windows go first: nobody should find them while its files are being closed.
    WindowDirectory::Instance().EndSession(*this);
    for (uint32_t file : files) {
        NotifyExit(HandleOf<HANDLE>(file), pid_);
    }
    for (uint32_t file : files) {
        CloseHandle(HandleOf<HANDLE>(file));
    }
    for (uint32_t key : keys) {
        RegCloseKey(HandleOf<HKEY>(key));
    }
}

bool Session::Ended() {
    std::lock_guard<std::mutex> guard(lock_);
    return ended_;
}

}  // namespace ce::host
