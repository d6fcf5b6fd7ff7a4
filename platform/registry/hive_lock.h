// One writer per hive file: a registry attached to a hive holds an flock on "<hive>.lock" beside it, so a
// second program (say, one started with CE_DEVICE=none and CE_REGISTRY naming a running device's hive) is
// refused instead of having its saves overwritten without a word. The hive itself cannot carry the lock:
// every save replaces its file.
#pragma once

#include <sys/types.h>

#include <string>

namespace ce::registry {

class HiveLock {
  public:
    HiveLock() = default;
    ~HiveLock() { Release(); }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    HiveLock(HiveLock&& other) noexcept;
    HiveLock& operator=(HiveLock&& other) noexcept;

    // Takes the lock of the hive at path. False when another process holds it, with *reason naming the
    // holder. A lock file that cannot be made is no refusal: where it cannot be made, no save can be either.
    bool Take(const std::string& path, std::string* reason);
    // Whether this lock already guards the hive at path (named in whatever way).
    bool Guards(const std::string& path) const;
    void Release();

  private:
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

}  // namespace ce::registry
