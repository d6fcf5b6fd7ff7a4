// Requests written straight to the device's socket, as a broken or hostile program could: each fails on
// its own, and the host goes on serving everybody else.
#include <sys/wait.h>
#include <winreg.h>

#include "host/session.h"
#include "platform/test_driver/test_driver_protocol.h"
#include "platform/host/raw_requests.h"

namespace hosttest {
namespace {

struct Malformed {
    const char* name;
    std::vector<uint8_t> bytes;
    bool endsConnection;
};

TEST_F(BadRequestsTest, MalformedRequestsFailTheirCallOrEndTheirConnectionOnly) {
    auto header = [](uint32_t size, Op op) { return Message(op).Finish(size); };
    // An I/O control whose input says 8 bytes and brings 1.
    Message disagreeing(Op::IoControl);
    disagreeing.U32(0).U32(testdrv::kCopy).U32(1).U32(8).U32(0).U32(0).Bytes({1}).Bytes({}).U32(0).U32(0);
    const Malformed cases[] = {
        {"missing fields", Message(Op::RegOpenKey).U32(0x80000002u).Finish(), false},
        {"a field too many",
         Message(Op::RegOpenKey).U32(0x80000002u).String(u"HostTest").U32(1).U32(7).Finish(), false},
        {"string past the end", Message(Op::RegOpenKey).U32(0x80000002u).U32(1000).U32(1).Finish(), false},
        {"unknown operation", Message(999u).Finish(), false},
        {"more sections than follow", Message(Op::RegImport).U32(3).U32(1).String(u"HKEY_USERS").Finish(),
         false},
        {"control on a call connection", Message(Op::Stop).Finish(), false},
        {"read over the piece size", Message(Op::ReadFile).U32(0).U32(64 * 1024 * 1024).Finish(), false},
        {"buffer sizes that disagree", disagreeing.Finish(), false},
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

TEST_F(BadRequestsTest, ProcessorHintsAreOnlyHints) {
    RawProgram program(dir_);
    const uint32_t key = program.OpenKey(u"HostTest");
    // A processor of the machine, one it does not have, and the largest hint: each call is served as any.
    for (const uint32_t hint : {1u, 1000u, 0xFFFFu}) {
        SCOPED_TRACE(hint);
        for (int call = 0; call < 4; ++call) {
            const uint32_t op = static_cast<uint32_t>(Op::RegFlushKey) | hint << 16;
            const Reply reply = program.calls.Ask(Message(op).U32(key).Finish());
            ASSERT_EQ(reply.words.size(), 2u);
            EXPECT_EQ(reply.words[1], static_cast<uint32_t>(ERROR_SUCCESS));
        }
    }
}

TEST_F(BadRequestsTest, MessageSpreadOverRecordsThatOverrunItsSizeEndsTheConnection) {
    RawProgram program(dir_);
    program.calls.Send(Message(Op::RegFlushKey).U32(0x80000002u).Finish(200));
    program.calls.Send(std::vector<uint8_t>(300, 0));
    EXPECT_TRUE(program.calls.Receive().closed);
}

TEST_F(BadRequestsTest, HelloWithoutTheSessionsTokenOrVersionIsRefusedWithTheReason) {
    RawProgram program(dir_);
    std::vector<uint8_t> wrongToken = program.token;
    wrongToken[0] ^= 1;
    const std::pair<std::vector<uint8_t>, DWORD> hellos[] = {
        {Message(Op::HelloCall).U32(kProtocolVersion).Bytes(wrongToken).Finish(), ERROR_INVALID_PARAMETER},
        {Message(Op::HelloCall).U32(kProtocolVersion + 1).Bytes(program.token).Finish(),
         ERROR_REVISION_MISMATCH},
        {Message(Op::HelloCall).U32(kProtocolVersion).Finish(), ERROR_INVALID_PARAMETER},
        {Message(Op::RegFlushKey).U32(0x80000002u).Finish(), ERROR_INVALID_PARAMETER},
        {Message(Op::HelloControl).U32(kProtocolVersion).Finish(ce::wire::kMaxHelloBytes + 1),
         ERROR_INVALID_PARAMETER},
    };
    for (const auto& [hello, error] : hellos) {
        Connection stranger(dir_);
        EXPECT_TRUE(stranger.Ask(hello).RefusedWith(error)) << error;
        EXPECT_TRUE(stranger.Receive().closed);
    }
    // Another process may not join this program's session even with its token.
    const pid_t child = fork();
    if (child == 0) {
        Connection thief(dir_);
        thief.Send(Message(Op::HelloCall).U32(kProtocolVersion).Bytes(program.token).Finish());
        _exit(thief.Receive().RefusedWith(ERROR_INVALID_PARAMETER) ? 0 : 1);
    }
    EXPECT_EQ(Wait(child), 0);
}

TEST_F(BadRequestsTest, HandlesOfAnotherProgramOrOfNobodyAreInvalid) {
    ASSERT_EQ(RunHelper({"activate", "1"}), 0);
    RawProgram owner(dir_);
    RawProgram other(dir_);
    const uint32_t key = owner.OpenKey(u"HostTest");
    const Reply opened = owner.calls.Ask(Message(Op::OpenFile).String(u"TST1:").U32(0).U32(0).Finish());
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

TEST_F(BadRequestsTest, AProgramHoldsAtMostItsQuotaOfHandlesAndTheOthersGoOn) {
    RawProgram greedy(dir_);
    std::vector<uint32_t> keys;
    for (size_t i = 0; i < ce::host::kMaxHandlesPerSession; ++i) {
        keys.push_back(greedy.OpenKey(u"HostTest"));
    }
    // One more is refused before it runs, and the caller's key becomes null.
    const Reply refused =
        greedy.calls.Ask(Message(Op::RegOpenKey).U32(0x80000002u).String(u"HostTest").U32(1).Finish());
    EXPECT_EQ(refused.words, (std::vector<uint32_t>{0, ERROR_NOT_ENOUGH_QUOTA, 0}));
    RawProgram other(dir_);
    EXPECT_EQ(other.QueryStatus(other.OpenKey(u"HostTest")), static_cast<uint32_t>(ERROR_SUCCESS));
    // A key closed makes room again.
    greedy.calls.Ask(Message(Op::RegCloseKey).U32(keys.back()).Finish());
    EXPECT_EQ(greedy.QueryStatus(greedy.OpenKey(u"HostTest")), static_cast<uint32_t>(ERROR_SUCCESS));
}

}  // namespace
}  // namespace hosttest
