#include "descriptor_end.h"

#include <unistd.h>

#include <cerrno>

DescriptorEnd::~DescriptorEnd() {
    close(descriptor_);
}

bool DescriptorEnd::WriteAll(const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(descriptor_, data, size);
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

size_t DescriptorEnd::ReadSome(uint8_t* data, size_t size) {
    for (;;) {
        const ssize_t n = read(descriptor_, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n > 0 ? static_cast<size_t>(n) : 0;
    }
}
