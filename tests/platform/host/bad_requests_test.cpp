// Requests written straight to the device's socket, as a broken or hostile program could: each fails on
// its own, and the host goes on serving everybody else.
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <winreg.h>

#include <cstring>

#include "host/protocol.h"
#include "platform/host/driver/hostdrv_protocol.h"
#include "platform/host/host_test_support.h"

namespace hosttest {
namespace {

using ce::host::kProtocolVersion;
using ce::host::Op;

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
    std::vector<uint32_t> words;
    bool closed = false;
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
    Reply Receive(std::vector<uint8_t>* raw = nullptr) {
        std::vector<uint8_t> buffer(256 * 1024);
        const ssize_t got = recv(fd_, buffer.data(), buffer.size(), 0);
        Reply reply;
        reply.closed = got <= 0;
        for (ssize_t at = 8; at + 4 <= got; at += 4) {
            uint32_t word = 0;
            std::memcpy(&word, buffer.data() + at, sizeof(word));
            reply.words.push_back(word);
        }
        if (raw != nullptr && got > 0) {
            raw->assign(buffer.begin(), buffer.begin() + got);
        }
        return reply;
    }
    Reply Ask(const std::vector<uint8_t>& bytes) {
        Send(bytes);
        return Receive();
    }

  private:
    int fd_ = -1;
};

// A program's session and one call connection of it, as the platform would open them.
struct RawProgram {
    explicit RawProgram(const std::string& dir) : session(dir), calls(dir) {
        std::vector<uint8_t> raw;
        session.Send(Message(Op::HelloSession).U32(kProtocolVersion).Finish());
        session.Receive(&raw);
        // header, refusal word, token length, token
        token.assign(raw.begin() + 16, raw.end());
        EXPECT_EQ(token.size(), ce::host::kTokenBytes);
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
        const Reply reply = calls.Ask(Message(Op::RegQueryValue)
                                          .U32(key)
                                          .String(u"Answer")
                                          .U32(0)
                                          .U32(0)
                                          .U32(0)
                                          .U32(0)
                                          .U32(1)
                                          .U32(4)
                                          .Finish());
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
        int status = -1;
        RunHelper({"set", "Answer", "42"}, &status);
        ASSERT_EQ(status, 0);
        host_ = HostPid(dir_);
        ASSERT_NE(host_, 0);
    }
    // The host still serves, and it is the same host.
    void TearDown() override {
        int status = -1;
        EXPECT_EQ(RunHelper({"get", "Answer"}, &status), "42\n");
        EXPECT_EQ(HostPid(dir_), host_);
        HostTest::TearDown();
    }

    pid_t host_ = 0;
};

struct Malformed {
    const char* name;
    std::vector<uint8_t> bytes;
    bool endsConnection;
};

TEST_F(BadRequestsTest, MalformedRequestsFailTheirCallOrEndTheirConnectionOnly) {
    auto header = [](uint32_t size, Op op) { return Message(op).Finish(size); };
    const Malformed cases[] = {
        {"missing fields", Message(Op::RegOpenKey).U32(0x80000002u).Finish(), false},
        {"a field too many",
         Message(Op::RegOpenKey).U32(0x80000002u).String(u"HostTest").U32(1).U32(7).Finish(), false},
        {"string past the end", Message(Op::RegOpenKey).U32(0x80000002u).U32(1000).U32(1).Finish(), false},
        {"unknown operation", Message(999u).Finish(), false},
        {"control on a call connection", Message(Op::Stop).Finish(), false},
        {"read over the piece size", Message(Op::ReadFile).U32(0).U32(64 * 1024 * 1024).Finish(), false},
        {"buffer sizes that disagree",
         Message(Op::IoControl)
             .U32(0)
             .U32(hostdrv::kCopy)
             .U32(1)
             .U32(8)
             .U32(0)
             .U32(0)
             .Bytes({1})
             .Bytes({})
             .U32(0)
             .U32(0)
             .Finish(),
         false},
        {"oversized", header(5 * 1024 * 1024, Op::RegOpenKey), true},
        {"size below its header", header(4, Op::RegOpenKey), true},
        {"size below its record", Message(Op::RegFlushKey).U32(0x80000002u).Finish(8), true},
        {"shorter than a header", {1, 2, 3}, true},
    };
    for (const Malformed& bad : cases) {
        SCOPED_TRACE(bad.name);
        RawProgram program(dir_);
        const Reply reply = program.calls.Ask(bad.bytes);
        if (bad.endsConnection) {
            EXPECT_TRUE(reply.closed);
            continue;
        }
        ASSERT_FALSE(reply.closed);
        ASSERT_EQ(reply.words.size(), 1u);
        EXPECT_EQ(reply.words[0], static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
        // The connection goes on serving.
        EXPECT_EQ(program.QueryStatus(program.OpenKey(u"HostTest")), static_cast<uint32_t>(ERROR_SUCCESS));
    }
}

TEST_F(BadRequestsTest, MessageSpreadOverRecordsThatOverrunItsSizeEndsTheConnection) {
    RawProgram program(dir_);
    program.calls.Send(Message(Op::RegFlushKey).U32(0x80000002u).Finish(200));
    program.calls.Send(std::vector<uint8_t>(300, 0));
    EXPECT_TRUE(program.calls.Receive().closed);
}

TEST_F(BadRequestsTest, HelloWithoutTheSessionsTokenOrVersionIsRefused) {
    RawProgram program(dir_);
    std::vector<uint8_t> wrongToken = program.token;
    wrongToken[0] ^= 1;
    const std::vector<uint8_t> hellos[] = {
        Message(Op::HelloCall).U32(kProtocolVersion).Bytes(wrongToken).Finish(),
        Message(Op::HelloCall).U32(kProtocolVersion + 1).Bytes(program.token).Finish(),
        Message(Op::HelloCall).U32(kProtocolVersion).Finish(),
        Message(Op::RegFlushKey).U32(0x80000002u).Finish(),
    };
    for (const std::vector<uint8_t>& hello : hellos) {
        Connection stranger(dir_);
        EXPECT_TRUE(stranger.Ask(hello).closed);
    }
    // Another process may not join this program's session even with its token.
    const pid_t child = fork();
    if (child == 0) {
        Connection thief(dir_);
        thief.Send(Message(Op::HelloCall).U32(kProtocolVersion).Bytes(program.token).Finish());
        _exit(thief.Receive().closed ? 0 : 1);
    }
    EXPECT_EQ(Wait(child), 0);
}

TEST_F(BadRequestsTest, HandlesOfAnotherProgramOrOfNobodyAreInvalid) {
    int status = -1;
    RunHelper({"activate", "1"}, &status);
    ASSERT_EQ(status, 0);
    RawProgram owner(dir_);
    RawProgram other(dir_);
    const uint32_t key = owner.OpenKey(u"HostTest");
    const Reply opened = owner.calls.Ask(Message(Op::OpenFile).String(u"HST1:").U32(0).U32(0).Finish());
    ASSERT_EQ(opened.words.size(), 4u);
    const uint32_t file = opened.words[3];
    ASSERT_NE(file, 0u);

    for (uint32_t foreign : {key, 0u, 0xFFFFFFFFu, 0x12345u, key + 1}) {
        EXPECT_EQ(other.QueryStatus(foreign), static_cast<uint32_t>(ERROR_INVALID_HANDLE)) << foreign;
    }
    for (uint32_t foreign : {file, 0u, 0xFFFFFFFFu, key}) {
        EXPECT_EQ(other.ReadError(foreign), static_cast<uint32_t>(ERROR_INVALID_HANDLE)) << foreign;
    }
    const Reply closeKey = other.calls.Ask(Message(Op::RegCloseKey).U32(key).Finish());
    EXPECT_EQ(closeKey.words.at(1), static_cast<uint32_t>(ERROR_INVALID_HANDLE));
    const Reply closeFile = other.calls.Ask(Message(Op::CloseFile).U32(file).Finish());
    EXPECT_EQ(closeFile.words.at(2), static_cast<uint32_t>(ERROR_INVALID_HANDLE));
    // The owner's handles are untouched by all that.
    EXPECT_EQ(owner.QueryStatus(key), static_cast<uint32_t>(ERROR_SUCCESS));
    const Reply closed = owner.calls.Ask(Message(Op::CloseFile).U32(file).Finish());
    EXPECT_EQ(closed.words.at(3), 1u);
}

}  // namespace
}  // namespace hosttest
