#include "registry/hive_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

namespace ce::registry {
namespace {

constexpr mode_t kLockFileMode = 0644;
constexpr const char* kLockSuffix = ".lock";
constexpr size_t kPidTextBytes = 16;

std::string LockPath(const std::string& path) {
    return path + kLockSuffix;
}

// The process the holder wrote into the lock file; 0 when unknown.
long HolderOf(int fd) {
    char text[kPidTextBytes] = {};
    const ssize_t got = pread(fd, text, sizeof(text) - 1, 0);
    return got > 0 ? std::strtol(text, nullptr, 10) : 0;
}

}  // namespace

HiveLock::HiveLock(HiveLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), device_(other.device_), inode_(other.inode_) {}

HiveLock& HiveLock::operator=(HiveLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        device_ = other.device_;
        inode_ = other.inode_;
    }
    return *this;
}

bool HiveLock::Take(const std::string& path, std::string* reason) {
    Release();
    const int fd = open(LockPath(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kLockFileMode);
    if (fd < 0) {
        return true;
    }
    int locked;
    do {
        locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const long holder = HolderOf(fd);
        close(fd);
        *reason = path + " is in use by another program" +
                  (holder > 0 ? " (process " + std::to_string(holder) + ")" : std::string()) +
                  ": a hive has one writer";
        return false;
    }
    struct stat status {};
    fstat(fd, &status);
    // The holder's number only makes another program's refusal clearer; the lock holds without it.
    const std::string pid = std::to_string(getpid()) + "\n";
    [[maybe_unused]] const bool written =
        ftruncate(fd, 0) == 0 && pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
    fd_ = fd;
    device_ = status.st_dev;
    inode_ = status.st_ino;
    return true;
}

bool HiveLock::Guards(const std::string& path) const {
    struct stat status {};
    return fd_ >= 0 && stat(LockPath(path).c_str(), &status) == 0 && status.st_dev == device_ &&
           status.st_ino == inode_;
}

void HiveLock::Release() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

}  // namespace ce::registry
