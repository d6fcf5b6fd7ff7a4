// A program's shared memory with the host, written as a broken or hostile program could write it: whatever
// it scribbles ends its own connection at worst, and the host goes on serving everybody else. A region the
// host cannot trust to stay as it is, it does not take, and the socket carries the calls.
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>

#include <chrono>

#include "platform/host/raw_requests.h"
#include "wire/call_region.h"
#include "wire/call_scheduling.h"

namespace hosttest {
namespace {

using ce::wire::CallRegion;
using ce::wire::kRegionAreaBytes;

constexpr std::chrono::milliseconds kReplyWait{5000};

// A program whose call connection passed a region with its hello.
struct RegionProgram {
    explicit RegionProgram(const std::string& dir) : session(dir), calls(dir), token(JoinSession(session)) {
        int fd = -1;
        EXPECT_TRUE(CallRegion::Create(&region, &fd));
        calls.SendWithDescriptor(Message(Op::HelloCall).U32(kProtocolVersion).Bytes(token).Finish(), fd);
        close(fd);
        hello = calls.Receive();
    }

    // A request put in the request area, its size word set to `announced` (its true size unless given),
    // rung, and the reply's fields; nullopt when the host ended the region instead.
    std::optional<std::vector<uint32_t>> Ask(const std::vector<uint8_t>& request,
                                             std::optional<uint32_t> announced = std::nullopt) {
        ce::wire::RegionWords& words = region.words();
        std::memcpy(region.requestArea(), request.data(), request.size());
        words.requestBytes.store(announced.value_or(static_cast<uint32_t>(request.size())));
        CallRegion::Ring(words.request, lastCall + 1, words.hostSleeps);
        if (region.Await(words.reply, lastCall, words.programSleeps, nullptr, kReplyWait) !=
            CallRegion::Wait::kRang) {
            return std::nullopt;
        }
        ++lastCall;
        const uint32_t bytes = words.replyBytes.load();
        EXPECT_LE(bytes, kRegionAreaBytes);
        return Connection::Words(std::vector<uint8_t>(region.replyArea(), region.replyArea() + bytes));
    }
    uint32_t OpenKey() {
        const auto reply = Ask(Message(Op::RegOpenKey).U32(0x80000002u).String(u"HostTest").U32(1).Finish());
        EXPECT_TRUE(reply && reply->size() == 3 && reply->at(1) == ERROR_SUCCESS);
        return reply && reply->size() == 3 ? reply->at(2) : 0;
    }

    Connection session;
    Connection calls;
    std::vector<uint8_t> token;
    CallRegion region;
    Reply hello;
    uint32_t lastCall = 0;
};

TEST_F(BadRequestsTest, ScribblesOverAProgramsOwnRegionEndItsConnectionOnly) {
    const std::vector<uint8_t> flush = Message(Op::RegFlushKey).U32(0x80000002u).Finish();
    struct Scribble {
        const char* name;
        std::optional<uint32_t> announced;
    };
    const Scribble scribbles[] = {
        {"size beyond the area", kRegionAreaBytes + 1},
        {"size below a header", 4},
        {"size other than its header's", static_cast<uint32_t>(flush.size()) + 8},
        {"announced on the socket but never sent", ce::wire::kMessageOnSocket},
    };
    RegionProgram bystander(dir_);
    const uint32_t bystandersKey = bystander.OpenKey();
    for (const Scribble& scribble : scribbles) {
        SCOPED_TRACE(scribble.name);
        RegionProgram program(dir_);
        ASSERT_EQ(program.hello.words, (std::vector<uint32_t>{0, 1}));
        // The region serves until the scribble.
        const auto served = program.Ask(flush);
        ASSERT_TRUE(served);
        EXPECT_EQ(served->at(1), static_cast<uint32_t>(ERROR_SUCCESS));
        if (scribble.announced == ce::wire::kMessageOnSocket) {
            // A request announced for the socket that never comes holds this connection alone: the host's
            // thread waits for it as for any slow program.
            program.region.words().requestBytes.store(*scribble.announced);
            CallRegion::Ring(program.region.words().request, program.lastCall + 1,
                             program.region.words().hostSleeps);
        } else {
            EXPECT_FALSE(program.Ask(flush, scribble.announced));
            EXPECT_TRUE(program.calls.Receive().closed);
        }
        const auto after = bystander.Ask(Message(Op::RegFlushKey).U32(bystandersKey).Finish());
        ASSERT_TRUE(after);
        EXPECT_EQ(after->at(1), static_cast<uint32_t>(ERROR_SUCCESS));
    }
}

// The host's thread says in the region which processor it is bound to, so that a program's thread on that
// processor sleeps at once instead of watching for a reply that cannot come while it watches.
TEST_F(BadRequestsTest, TheRegionTellsWhichProcessorTheHostsThreadIsBoundTo) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof(allowed), &allowed) != 0 || CPU_COUNT(&allowed) < 2) {
        GTEST_SKIP() << "one processor: the host's thread is never bound";
    }
    int processors[2] = {-1, -1};
    for (int cpu = 0, found = 0; cpu < CPU_SETSIZE && found < 2; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) {
            processors[found++] = cpu;
        }
    }
    RegionProgram program(dir_);
    ASSERT_EQ(program.hello.words, (std::vector<uint32_t>{0, 1}));
    const auto callFrom = [&](uint32_t hint) {
        for (int call = 0; call < ce::wire::ProcessorFollower::kCallsBeforeMove; ++call) {
            const uint32_t op = static_cast<uint32_t>(Op::RegFlushKey) | hint << 16;
            ASSERT_TRUE(program.Ask(Message(op).U32(0x80000002u).Finish()));
        }
    };
    for (const int cpu : processors) {
        callFrom(static_cast<uint32_t>(cpu + 1));
        EXPECT_EQ(program.region.words().hostProcessor.load(), static_cast<uint32_t>(cpu + 1));
    }
    callFrom(0);
    EXPECT_EQ(program.region.words().hostProcessor.load(), 0u) << "a caller that names none: runs anywhere";
}

TEST_F(BadRequestsTest, ARegionThatCouldChangeSizeIsNotTakenAndTheSocketServes) {
    const auto unsealed = [] {
        const int fd = memfd_create("unsealed", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        EXPECT_EQ(ftruncate(fd, CallRegion::kBytes), 0);
        return fd;
    };
    const auto tooSmall = [] {
        const int fd = memfd_create("small", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        EXPECT_EQ(ftruncate(fd, 4096), 0);
        EXPECT_EQ(fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL), 0);
        return fd;
    };
    for (const auto& make : {+unsealed, +tooSmall}) {
        RawProgram program(dir_);
        Connection calls(dir_);
        const int fd = make();
        calls.SendWithDescriptor(Message(Op::HelloCall).U32(kProtocolVersion).Bytes(program.token).Finish(),
                                 fd);
        close(fd);
        EXPECT_EQ(calls.Receive().words, (std::vector<uint32_t>{0, 0}));
        const Reply reply = calls.Ask(Message(Op::RegFlushKey).U32(0x80000002u).Finish());
        EXPECT_EQ(reply.words.at(1), static_cast<uint32_t>(ERROR_SUCCESS));
    }
}

}  // namespace
}  // namespace hosttest
