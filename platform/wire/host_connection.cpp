#include "wire/host_connection.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>

#include "wire/device_dir.h"
#include "wire/wire.h"

namespace ce::wire {

int ConnectToHost(const std::string& dir) {
    const std::string path = SocketPath(dir);
    sockaddr_un address{};
    const int fd = OpenSocket(path, &address);
    if (fd < 0) {
        return -1;
    }
    // A connect waits while the host's backlog is full; the send timeout bounds that wait, and only that.
    timeval patience{kHelloTimeoutMs / 1000, (kHelloTimeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof(patience));
    int result;
    do {
        result = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    const timeval forever{0, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &forever, sizeof(forever));
    return fd;
}

bool HostRunning(const std::string& dir) {
    const int lock = open(HostLockPath(dir).c_str(), O_RDWR | O_CLOEXEC);
    if (lock < 0) {
        return false;
    }
    const bool held = flock(lock, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(lock);
    return held;
}

}  // namespace ce::wire
