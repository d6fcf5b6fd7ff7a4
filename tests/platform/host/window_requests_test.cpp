// The window directory's requests written straight to the device's socket: bad fields fail alone, a
// program's share of windows is bounded, requests reach the owner's listener and nobody else's, an owner
// that takes no requests holds up no caller, and an ended program's windows are gone.
#include <winuser.h>

#include <unistd.h>

#include <cstring>
#include <memory>

#include "platform/host/raw_requests.h"

namespace hosttest {
namespace {

constexpr uint32_t kNull = 0xFFFFFFFFu;
constexpr uint32_t kWindow = 0x1234;
constexpr uint32_t kThread = 77;
constexpr auto kSettle = std::chrono::seconds(10);

Message Publish(uint32_t window, std::u16string_view className, std::u16string_view title, uint32_t visible) {
    return std::move(
        Message(Op::WindowPublish).U32(window).String(className).String(title).U32(visible).U32(kThread));
}

// The error a publish answered; the refusal when the host refused it.
uint32_t PublishError(Connection& calls, uint32_t window, std::u16string_view title = u"Raw") {
    const Reply reply = calls.Ask(Publish(window, u"Dialog", title, 0).Finish());
    return reply.words.size() == 2 && reply.words[0] == 0 ? reply.words[1] : reply.words.at(0);
}

uint64_t Find(Connection& calls, std::u16string_view className, std::u16string_view title) {
    const Reply reply = calls.Ask(Message(Op::WindowFind).String(className).String(title).Finish());
    EXPECT_EQ(reply.words.size(), 3u);
    return reply.words.size() == 3 ? reply.words[1] | (uint64_t{reply.words[2]} << 32) : 0;
}

Message ForId(Op op, uint64_t id) {
    return std::move(Message(op).U32(static_cast<uint32_t>(id)).U32(static_cast<uint32_t>(id >> 32)));
}

// A program that listens for requests for its windows, as the platform's listener does.
struct WindowOwner : RawProgram {
    explicit WindowOwner(const std::string& dir) : RawProgram(dir), listener(dir) {
        const Reply hello =
            listener.Ask(Message(Op::HelloWindows).U32(kProtocolVersion).Bytes(token).Finish());
        EXPECT_EQ(hello.words, std::vector<uint32_t>{0});
    }

    Connection listener;
};

using WindowRequestsTest = BadRequestsTest;

TEST_F(WindowRequestsTest, BadFieldsFailTheirRequestAlone) {
    const std::u16string longest(ce::wire::kMaxWindowTextChars, u'x');
    const std::u16string overLimit = longest + u"x";
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"publish of window 0", Publish(0, u"Dialog", u"Raw", 0).Finish()},
        {"class over the limit", Publish(kWindow, overLimit, u"Raw", 0).Finish()},
        {"title over the limit", Publish(kWindow, u"Dialog", overLimit, 0).Finish()},
        {"visibility neither 0 nor 1", Publish(kWindow, u"Dialog", u"Raw", 2).Finish()},
        {"publish without visibility",
         Message(Op::WindowPublish).U32(kWindow).String(u"D").String(u"R").Finish()},
        {"title past the end", Message(Op::WindowPublish).U32(kWindow).String(u"D").U32(400).U32(0).Finish()},
        {"withdraw with a field too many", Message(Op::WindowWithdraw).U32(kWindow).U32(0).Finish()},
        {"find without a title", Message(Op::WindowFind).String(u"Dialog").Finish()},
        {"query with half an id", Message(Op::WindowQuery).U32(1).Finish()},
        {"show command past SW_SHOWDEFAULT", ForId(Op::WindowShow, 1).U32(SW_SHOWDEFAULT + 1).Finish()},
        {"show without a command", ForId(Op::WindowShow, 1).Finish()},
        {"foreground with a field too many", ForId(Op::WindowForeground, 1).U32(0).Finish()},
    };
    RawProgram program(dir_);
    for (const Case& bad : cases) {
        const Reply reply = program.calls.Ask(bad.bytes);
        EXPECT_EQ(reply.words, std::vector<uint32_t>{ERROR_INVALID_PARAMETER}) << bad.name;
    }
    // Nothing of it was published, and the connection goes on serving right at the limits.
    RawProgram other(dir_);
    EXPECT_EQ(Find(other.calls, u"Dialog", u"Raw"), 0u);
    EXPECT_EQ(PublishError(program.calls, kWindow, longest), static_cast<uint32_t>(ERROR_SUCCESS));
    EXPECT_NE(Find(other.calls, u"dialog", longest), 0u);
    const Reply nulls = program.calls.Ask(Message(Op::WindowFind).U32(kNull).U32(kNull).Finish());
    EXPECT_EQ(nulls.words, (std::vector<uint32_t>{0, 0, 0}));  // its own windows are not another's
}

TEST_F(WindowRequestsTest, AProgramPublishesAtMostItsShareOfWindows) {
    RawProgram program(dir_);
    for (uint32_t window = 1; window <= ce::wire::kMaxWindowsPerSession; ++window) {
        ASSERT_EQ(PublishError(program.calls, window), static_cast<uint32_t>(ERROR_SUCCESS)) << window;
    }
    const uint32_t past = ce::wire::kMaxWindowsPerSession + 1;
    EXPECT_EQ(PublishError(program.calls, past), static_cast<uint32_t>(ERROR_NO_SYSTEM_RESOURCES));
    // A window it has can still change, and one withdrawn makes room.
    EXPECT_EQ(PublishError(program.calls, 7, u"Renamed"), static_cast<uint32_t>(ERROR_SUCCESS));
    EXPECT_EQ(program.calls.Ask(Message(Op::WindowWithdraw).U32(1).Finish()).words, std::vector<uint32_t>{0});
    EXPECT_EQ(PublishError(program.calls, past), static_cast<uint32_t>(ERROR_SUCCESS));
    // Another program has a share of its own.
    RawProgram other(dir_);
    EXPECT_EQ(PublishError(other.calls, 1), static_cast<uint32_t>(ERROR_SUCCESS));
}

TEST_F(WindowRequestsTest, RequestsForAWindowReachItsOwnersListenerOnly) {
    WindowOwner owner(dir_);
    WindowOwner bystander(dir_);
    RawProgram caller(dir_);
    ASSERT_EQ(PublishError(owner.calls, kWindow), static_cast<uint32_t>(ERROR_SUCCESS));
    const uint64_t id = Find(caller.calls, u"DIALOG", u"Raw");
    ASSERT_NE(id, 0u);

    EXPECT_EQ(caller.calls.Ask(ForId(Op::WindowShow, id).U32(SW_SHOW).Finish()).words,
              (std::vector<uint32_t>{0, ERROR_SUCCESS, 0}));
    EXPECT_EQ(owner.listener.Receive().words, (std::vector<uint32_t>{kWindow, SW_SHOW}));
    EXPECT_EQ(caller.calls.Ask(ForId(Op::WindowForeground, id).Finish()).words,
              (std::vector<uint32_t>{0, ERROR_SUCCESS}));
    EXPECT_EQ(owner.listener.Receive().words, std::vector<uint32_t>{kWindow});
    EXPECT_FALSE(bystander.listener.Waiting(0));
    // Until the owner says otherwise, the window is as the request left it.
    const Reply query = caller.calls.Ask(ForId(Op::WindowQuery, id).Finish());
    EXPECT_EQ(std::vector<uint32_t>(query.words.begin(), query.words.begin() + 3),
              (std::vector<uint32_t>{0, 1, 1}));
    // It ends with the owner's process (here the test's own) and the thread the owner said made it.
    std::vector<uint8_t> raw;
    caller.calls.Send(ForId(Op::WindowQuery, id).Finish());
    caller.calls.Receive(&raw);
    ASSERT_GE(raw.size(), 8u);
    uint32_t ownerWords[2] = {};
    std::memcpy(ownerWords, raw.data() + raw.size() - sizeof(ownerWords), sizeof(ownerWords));
    EXPECT_EQ(ownerWords[0], static_cast<uint32_t>(getpid()));
    EXPECT_EQ(ownerWords[1], kThread);

    const uint64_t unknown = id + 1000;
    EXPECT_EQ(caller.calls.Ask(ForId(Op::WindowShow, unknown).U32(SW_SHOW).Finish()).words,
              (std::vector<uint32_t>{0, ERROR_INVALID_WINDOW_HANDLE, 0}));
    EXPECT_EQ(caller.calls.Ask(ForId(Op::WindowQuery, unknown).Finish()).words,
              (std::vector<uint32_t>{0, 0, 0, kNull, 0, 0}));

    // One listener per program, and only with the program's own token.
    std::vector<uint8_t> wrongToken = owner.token;
    wrongToken[0] ^= 1;
    for (const std::vector<uint8_t>& token : {owner.token, wrongToken}) {
        Connection second(dir_);
        EXPECT_TRUE(second.Ask(Message(Op::HelloWindows).U32(kProtocolVersion).Bytes(token).Finish())
                        .RefusedWith(ERROR_INVALID_PARAMETER));
    }
}

TEST_F(WindowRequestsTest, AnOwnerThatTakesNoRequestsHoldsUpNoCaller) {
    auto owner = std::make_unique<WindowOwner>(dir_);
    RawProgram caller(dir_);
    ASSERT_EQ(PublishError(owner->calls, kWindow), static_cast<uint32_t>(ERROR_SUCCESS));
    const uint64_t id = Find(caller.calls, u"Dialog", u"Raw");
    ASSERT_NE(id, 0u);
    // The owner never reads: its listener's socket fills, and then the host refuses instead of waiting.
    constexpr int kMostRequests = 100000;
    uint32_t answer = ERROR_SUCCESS;
    int sent = 0;
    while (answer == ERROR_SUCCESS && sent < kMostRequests) {
        answer = caller.calls.Ask(ForId(Op::WindowForeground, id).Finish()).words.at(1);
        ++sent;
    }
    EXPECT_EQ(answer, static_cast<uint32_t>(ERROR_BUSY)) << sent;
    EXPECT_GT(sent, 1);

    // A window whose owner stopped listening is still found, and its requests are refused.
    RawProgram deaf(dir_);
    ASSERT_EQ(PublishError(deaf.calls, kWindow, u"Deaf"), static_cast<uint32_t>(ERROR_SUCCESS));
    const uint64_t deafId = Find(caller.calls, u"Dialog", u"Deaf");
    ASSERT_NE(deafId, 0u);
    EXPECT_EQ(caller.calls.Ask(ForId(Op::WindowShow, deafId).U32(SW_HIDE).Finish()).words,
              (std::vector<uint32_t>{0, ERROR_BUSY, 0}));

    // An ended program's windows are gone.
    owner.reset();
    EXPECT_TRUE(WaitFor([&] { return Find(caller.calls, u"Dialog", u"Raw") == 0; }, kSettle));
    EXPECT_EQ(caller.calls.Ask(ForId(Op::WindowForeground, id).Finish()).words,
              (std::vector<uint32_t>{0, ERROR_INVALID_WINDOW_HANDLE}));
}

}  // namespace
}  // namespace hosttest
