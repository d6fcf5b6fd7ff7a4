// The comparison baseline: the same traffic through a Unix socketpair. This file alone speaks POSIX.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "byte_channel.h"

namespace {

class SocketEnd : public ByteEnd {
  public:
    explicit SocketEnd(int fd) : fd_(fd) {}
    ~SocketEnd() override { close(fd_); }

    bool WriteAll(const uint8_t* data, size_t size) override {
        while (size > 0) {
            const ssize_t n = write(fd_, data, size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    size_t ReadSome(uint8_t* data, size_t size) override {
        for (;;) {
            const ssize_t n = read(fd_, data, size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return n > 0 ? static_cast<size_t>(n) : 0;
        }
    }

  private:
    int fd_;
};

}  // namespace

ByteChannel MakeSocketpairChannel() {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
        throw std::runtime_error("socketpair failed");
    }
    return ByteChannel{"socketpair", std::make_unique<SocketEnd>(fds[0]),
                       std::make_unique<SocketEnd>(fds[1])};
}
