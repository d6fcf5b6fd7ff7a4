// Requests written straight to a device's socket, field by field, as a broken or hostile program could
// write them, independent of the platform's own encoder; and the fixture of the tests that send them.
#pragma once

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/host_test_support.h"
#include "wire/protocol.h"

namespace hosttest {

using ce::wire::kProtocolVersion;
using ce::wire::Op;

// A message built field by field, independent of the platform's own encoder.
class Message {
  public:
    explicit Message(Op op) : Message(static_cast<uint32_t>(op)) {}
    explicit Message(uint32_t op) {
        U32(0);
        U32(op);
    }
    Message& U32(uint32_t value) { return Append(&value, sizeof(value)); }
    Message& String(std::u16string_view text) {
        U32(static_cast<uint32_t>(text.size()));
        return Append(text.data(), text.size() * sizeof(char16_t));
    }
    Message& Bytes(const std::vector<uint8_t>& data) {
        U32(static_cast<uint32_t>(data.size()));
        return Append(data.data(), data.size());
    }
    // The bytes with the size in the header, or a size of one's own choosing.
    std::vector<uint8_t> Finish(std::optional<uint32_t> size = std::nullopt) {
        const uint32_t total = size.value_or(static_cast<uint32_t>(bytes_.size()));
        std::memcpy(bytes_.data(), &total, sizeof(total));
        return bytes_;
    }

  private:
    Message& Append(const void* data, size_t size) {
        const size_t at = bytes_.size();
        bytes_.resize(at + size);
        if (size != 0) {
            std::memcpy(bytes_.data() + at, data, size);
        }
        return *this;
    }

    std::vector<uint8_t> bytes_;
};

// The fields of a reply after its header.
struct Reply {
    uint16_t op = 0;
    std::vector<uint32_t> words;
    bool closed = false;

    // The host refused the connection with error (and ends it).
    bool RefusedWith(DWORD error) const {
        return op == static_cast<uint16_t>(Op::Refused) && words == std::vector<uint32_t>{error};
    }
};

class Connection {
  public:
    explicit Connection(const std::string& dir) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, (dir + "/host.sock").c_str());
        fd_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        EXPECT_EQ(connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    }
    ~Connection() { close(fd_); }

    void Send(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    // A message with a descriptor attached, as a program passes its call region with its hello.
    void SendWithDescriptor(const std::vector<uint8_t>& bytes, int passed) {
        iovec part{const_cast<uint8_t*>(bytes.data()), bytes.size()};
        alignas(cmsghdr) char space[CMSG_SPACE(sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = space;
        message.msg_controllen = sizeof(space);
        cmsghdr* attached = CMSG_FIRSTHDR(&message);
        attached->cmsg_level = SOL_SOCKET;
        attached->cmsg_type = SCM_RIGHTS;
        attached->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(attached), &passed, sizeof(int));
        ASSERT_EQ(sendmsg(fd_, &message, MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    Reply Receive(std::vector<uint8_t>* raw = nullptr) {
        // Sized by a peek at the message: a large buffer zeroed for every reply costs the sanitizer builds
        // seconds over a test's thousands of calls.
        uint8_t probe = 0;
        const ssize_t size = recv(fd_, &probe, 1, MSG_PEEK | MSG_TRUNC);
        std::vector<uint8_t> buffer(static_cast<size_t>(std::max<ssize_t>(size, 1)));
        const ssize_t got = recv(fd_, buffer.data(), buffer.size(), 0);
        Reply reply;
        reply.closed = got <= 0;
        if (got >= 8) {
            std::memcpy(&reply.op, buffer.data() + 4, sizeof(reply.op));
        }
        buffer.resize(std::max<ssize_t>(got, 0));
        reply.words = Words(buffer);
        if (raw != nullptr) {
            *raw = std::move(buffer);
        }
        return reply;
    }
    // The 32-bit fields of a message after its header.
    static std::vector<uint32_t> Words(const std::vector<uint8_t>& message) {
        std::vector<uint32_t> words;
        for (size_t at = 8; at + 4 <= message.size(); at += 4) {
            uint32_t word = 0;
            std::memcpy(&word, message.data() + at, sizeof(word));
            words.push_back(word);
        }
        return words;
    }
    // Whether a message (or the connection's end) waits to be received within timeoutMs.
    bool Waiting(int timeoutMs) {
        pollfd wait{fd_, POLLIN, 0};
        return poll(&wait, 1, timeoutMs) == 1;
    }
    // Whether the host has taken in everything sent so far (nothing left queued on its side).
    bool AllTaken() const {
        int queued = -1;
        return ioctl(fd_, SIOCOUTQ, &queued) == 0 && queued == 0;
    }
    Reply Ask(const std::vector<uint8_t>& bytes) {
        Send(bytes);
        return Receive();
    }

  private:
    int fd_ = -1;
};

// Says hello on a program's session connection; answers the session's token.
inline std::vector<uint8_t> JoinSession(Connection& session) {
    std::vector<uint8_t> raw;
    session.Send(Message(Op::HelloSession).U32(kProtocolVersion).Finish());
    session.Receive(&raw);
    // header, refusal word, token length, token
    std::vector<uint8_t> token(raw.begin() + 16, raw.end());
    EXPECT_EQ(token.size(), ce::wire::kTokenBytes);
    return token;
}

// A program's session and one call connection of it, as the platform would open them.
struct RawProgram {
    explicit RawProgram(const std::string& dir) : session(dir), calls(dir), token(JoinSession(session)) {
        const Reply hello = calls.Ask(Message(Op::HelloCall).U32(kProtocolVersion).Bytes(token).Finish());
        EXPECT_FALSE(hello.closed);
    }

    // RegOpenKey of HKEY_LOCAL_MACHINE\<path>: the host's value of the new key.
    uint32_t OpenKey(std::u16string_view path) {
        const Reply reply = calls.Ask(Message(Op::RegOpenKey).U32(0x80000002u).String(path).U32(1).Finish());
        EXPECT_EQ(reply.words.size(), 3u);
        EXPECT_EQ(reply.words.at(1), static_cast<uint32_t>(ERROR_SUCCESS));
        return reply.words.at(2);
    }
    // RegQueryValue of a DWORD value: its status.
    uint32_t QueryStatus(uint32_t key) {
        Message query(Op::RegQueryValue);
        // No reserved, type or data pointer; a size pointer holding 4.
        query.U32(key).String(u"Answer").U32(0).U32(0).U32(0).U32(0).U32(1).U32(4);
        const Reply reply = calls.Ask(query.Finish());
        return reply.words.size() >= 2 ? reply.words[1] : 0xFFFFFFFFu;
    }
    // ReadFile of one byte: the error the host's call set.
    uint32_t ReadError(uint32_t file) {
        const Reply reply = calls.Ask(Message(Op::ReadFile).U32(file).U32(1).Finish());
        EXPECT_GE(reply.words.size(), 4u);
        EXPECT_EQ(reply.words.at(1), 1u);  // an error was set
        return reply.words.at(2);
    }

    Connection session;
    Connection calls;
    std::vector<uint8_t> token;
};

class BadRequestsTest : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        ASSERT_EQ(RunHelper({"set", "Answer", "42"}), 0);
        host_ = HostPid(dir_);
        ASSERT_NE(host_, 0);
    }
    // The host still serves, and it is the same host.
    void TearDown() override {
        std::string said;
        EXPECT_EQ(RunHelper({"get", "Answer"}, &said), 0);
        EXPECT_EQ(said, "42\n");
        EXPECT_EQ(HostPid(dir_), host_);
        HostTest::TearDown();
    }

    pid_t host_ = 0;
};

}  // namespace hosttest
