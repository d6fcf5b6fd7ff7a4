#include "wire/wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <memory>
#include <new>

namespace ce::wire {

Writer::Writer(Op op) {
    bytes_.reserve(256);
    const MessageHeader header{0, static_cast<uint16_t>(op), 0};
    Append(&header, sizeof(header));
}

void Writer::Append(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), bytes, bytes + size);
}

void Writer::Bytes(const void* data, uint32_t size) {
    U32(size);
    if (size != 0) {
        Append(data, size);
    }
}

uint8_t* Writer::Reserve(uint32_t size) {
    U32(size);
    const size_t at = bytes_.size();
    bytes_.resize(at + size);
    return bytes_.data() + at;
}

void Writer::String(LPCWSTR text) {
    if (text == nullptr) {
        U32(kNullString);
        return;
    }
    String(std::u16string_view(text));
}

void Writer::String(std::u16string_view text) {
    U32(static_cast<uint32_t>(text.size()));
    Append(text.data(), text.size() * sizeof(char16_t));
}

void Writer::SetProcessor(uint16_t processor) {
    std::memcpy(bytes_.data() + offsetof(MessageHeader, processor), &processor, sizeof(processor));
}

const std::vector<uint8_t>& Writer::Finish() {
    const auto size = static_cast<uint32_t>(bytes_.size());
    std::memcpy(bytes_.data(), &size, sizeof(size));
    return bytes_;
}

Reader::Reader(const std::vector<uint8_t>& message)
    : data_(message.data()),
      size_(message.size()),
      offset_(std::min(message.size(), sizeof(MessageHeader))) {}

std::string_view Reader::Bytes() {
    const uint32_t size = U32();
    if (!ok_ || size_ - offset_ < size) {
        ok_ = false;
        return {};
    }
    std::string_view view(reinterpret_cast<const char*>(data_ + offset_), size);
    offset_ += size;
    return view;
}

std::u16string Reader::String(bool* isNull, size_t maxChars) {
    const uint32_t count = U32();
    *isNull = count == kNullString;
    if (!ok_ || *isNull) {
        return {};
    }
    if (count > maxChars || (size_ - offset_) / sizeof(char16_t) < count) {
        ok_ = false;
        return {};
    }
    std::u16string text(count, u'\0');
    std::memcpy(text.data(), data_ + offset_, count * sizeof(char16_t));
    offset_ += count * sizeof(char16_t);
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    return text;
}

namespace {

// Room for the one descriptor a hello may carry.
union DescriptorSpace {
    cmsghdr header;
    char bytes[CMSG_SPACE(sizeof(int))];
};

// A one-part message header with room for one passed descriptor.
msghdr RecordHeader(iovec* part, DescriptorSpace* space) {
    msghdr message{};
    message.msg_iov = part;
    message.msg_iovlen = 1;
    message.msg_control = space->bytes;
    message.msg_controllen = sizeof(space->bytes);
    return message;
}

ssize_t SendRecord(int fd, const uint8_t* data, size_t size, int passed) {
    if (passed < 0) {
        return send(fd, data, size, MSG_NOSIGNAL);
    }
    iovec part{const_cast<uint8_t*>(data), size};
    DescriptorSpace space{};
    msghdr message = RecordHeader(&part, &space);
    cmsghdr* attached = CMSG_FIRSTHDR(&message);
    attached->cmsg_level = SOL_SOCKET;
    attached->cmsg_type = SCM_RIGHTS;
    attached->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(attached), &passed, sizeof(int));
    return sendmsg(fd, &message, MSG_NOSIGNAL);
}

}  // namespace

bool SendMessage(int fd, const std::vector<uint8_t>& message, int passed) {
    for (size_t sent = 0; sent < message.size();) {
        const size_t record = std::min(kRecordBytes, message.size() - sent);
        const ssize_t done = SendRecord(fd, message.data() + sent, record, sent == 0 ? passed : -1);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done != static_cast<ssize_t>(record)) {
            return false;
        }
        sent += record;
    }
    return true;
}

namespace {

// Closes every descriptor a received record carried but the one taken into *passed (when asked for).
void TakeDescriptors(msghdr& message, int* passed) {
    for (cmsghdr* part = CMSG_FIRSTHDR(&message); part != nullptr; part = CMSG_NXTHDR(&message, part)) {
        if (part->cmsg_level != SOL_SOCKET || part->cmsg_type != SCM_RIGHTS) {
            continue;
        }
        const size_t count = (part->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int descriptor = -1;
            std::memcpy(&descriptor, CMSG_DATA(part) + i * sizeof(int), sizeof(int));
            if (passed != nullptr && *passed < 0) {
                *passed = descriptor;
            } else {
                close(descriptor);
            }
        }
    }
}

// One record into buffer; its true length (more than capacity when it did not fit), 0 at the end of the
// connection, -1 on an error. A descriptor that came with it goes to *passed when asked for, else is closed.
ssize_t ReceiveRecord(int fd, uint8_t* buffer, size_t capacity, int* passed = nullptr) {
    for (;;) {
        iovec part{buffer, capacity};
        DescriptorSpace space{};
        msghdr message = RecordHeader(&part, &space);
        const ssize_t got = recvmsg(fd, &message, MSG_TRUNC | MSG_CMSG_CLOEXEC);
        if (got >= 0) {
            TakeDescriptors(message, passed);
        }
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

}  // namespace

Received ReceiveMessage(int fd, std::vector<uint8_t>* message, size_t maxBytes, int* passed) {
    // Records land in this thread's scratch buffer and are appended from there: sizing the message for a
    // whole record would clear 128 KiB for every call, most of whose messages are a few dozen bytes.
    thread_local const std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[kRecordBytes]);
    if (!scratch) {
        return Received::Closed;
    }
    if (passed != nullptr) {
        *passed = -1;
    }
    ssize_t got = ReceiveRecord(fd, scratch.get(), kRecordBytes, passed);
    if (got <= 0) {
        return Received::Closed;
    }
    MessageHeader header{};
    if (static_cast<size_t>(got) < sizeof(header) || static_cast<size_t>(got) > kRecordBytes) {
        return Received::Malformed;
    }
    message->assign(scratch.get(), scratch.get() + got);
    std::memcpy(&header, message->data(), sizeof(header));
    if (header.size < sizeof(header) || header.size > std::min(maxBytes, kMaxMessageBytes) ||
        header.size < got) {
        return Received::Malformed;
    }
    // The message grows with the records that arrive, never to the size a header merely promises.
    for (size_t have = static_cast<size_t>(got); have < header.size; have += static_cast<size_t>(got)) {
        const size_t room = std::min(kRecordBytes, header.size - have);
        got = ReceiveRecord(fd, scratch.get(), room);
        if (got <= 0) {
            return Received::Closed;
        }
        if (static_cast<size_t>(got) > room) {
            return Received::Malformed;
        }
        if (message->capacity() < have + static_cast<size_t>(got)) {
            message->reserve(std::min<size_t>(header.size, std::max(have + room, 2 * message->capacity())));
        }
        message->insert(message->end(), scratch.get(), scratch.get() + got);
    }
    return Received::Message;
}

bool MessageWithin(int fd, int timeoutMs) {
    pollfd wait{fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&wait, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    // A failed poll says nothing of the connection: the receive that follows finds out.
    return ready != 0;
}

namespace {

MessageHeader HeaderOf(const std::vector<uint8_t>& message) {
    MessageHeader header{};
    std::memcpy(&header, message.data(), std::min(message.size(), sizeof(header)));
    return header;
}

}  // namespace

Op MessageOp(const std::vector<uint8_t>& message) {
    return static_cast<Op>(HeaderOf(message).op);
}

uint16_t MessageProcessor(const std::vector<uint8_t>& message) {
    return HeaderOf(message).processor;
}

int OpenSocket(const std::string& path, sockaddr_un* address) {
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof(address->sun_path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
}

bool PeerCredentials(int fd, pid_t* pid, uid_t* uid) {
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
        return false;
    }
    *pid = credentials.pid;
    *uid = credentials.uid;
    return true;
}

}  // namespace ce::wire
