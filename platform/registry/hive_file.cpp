#include "registry/hive_file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "kernel/faults.h"

namespace ce::registry {
namespace {

constexpr mode_t kHiveFileMode = 0644;
constexpr size_t kReadChunkBytes = 64 * 1024;
constexpr const char* kTemporarySuffix = ".tmp";

std::string SystemReason(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Closes the descriptor on every path out.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now so the caller sees a failed close (a late write error on some file systems).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable; a failure here loses nothing already written, so it is not reported.
void SyncDirectory(const std::string& path) {
    FileDescriptor directory(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) {
        ::fsync(directory.get());
    }
}

}  // namespace

ReadResult ReadHiveFile(const std::string& path, std::string* contents, std::string* reason) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT) {
            return ReadResult::Missing;
        }
        *reason = SystemReason("cannot open", path);
        return ReadResult::Failed;
    }
    contents->clear();
    size_t used = 0;
    while (true) {
        contents->resize(used + kReadChunkBytes);
        const ssize_t got = ::read(file.get(), contents->data() + used, kReadChunkBytes);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            *reason = SystemReason("cannot read", path);
            return ReadResult::Failed;
        }
        used += static_cast<size_t>(got);
        if (got == 0) {
            contents->resize(used);
            return ReadResult::Ok;
        }
    }
}

LONG WriteHiveFile(const std::string& path, std::string_view contents, std::string* reason) {
    const std::string temporary = path + kTemporarySuffix;
    FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kHiveFileMode));
    if (file.get() < 0) {
        *reason = SystemReason("cannot create", temporary);
        return ERROR_REGISTRY_IO_FAILED;
    }
    if (!WriteAll(file.get(), contents) || ::fsync(file.get()) != 0 || !file.Close()) {
        *reason = SystemReason("cannot write", temporary);
        ::unlink(temporary.c_str());
        return ERROR_REGISTRY_IO_FAILED;
    }
    DWORD injected = ERROR_SUCCESS;
    if (FaultFires(FaultPoint::HiveRename, &injected)) {
        ::unlink(temporary.c_str());
        *reason = "save of " + path + " stopped before the rename (injected fault)";
        return static_cast<LONG>(injected);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        *reason = SystemReason("cannot rename " + temporary + " to", path);
        ::unlink(temporary.c_str());
        return ERROR_REGISTRY_IO_FAILED;
    }
    SyncDirectory(path);
    return ERROR_SUCCESS;
}

}  // namespace ce::registry
