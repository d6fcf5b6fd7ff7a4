// Where a host thread serving one program thread's calls runs: on its caller's processor, once the caller
// has stayed there; and its look at the socket takes nothing from it.
#include "wire/call_scheduling.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

namespace ce::wire {
namespace {

cpu_set_t Affinity() {
    cpu_set_t set;
    CPU_ZERO(&set);
    EXPECT_EQ(sched_getaffinity(0, sizeof(set), &set), 0);
    return set;
}

bool SameSet(const cpu_set_t& a, const cpu_set_t& b) {
    return CPU_EQUAL(&a, &b);
}

std::vector<int> Processors(const cpu_set_t& set) {
    std::vector<int> processors;
    for (int processor = 0; processor < CPU_SETSIZE; ++processor) {
        if (CPU_ISSET(processor, &set)) {
            processors.push_back(processor);
        }
    }
    return processors;
}

uint16_t Hint(int processor) {
    return static_cast<uint16_t>(processor + 1);
}

// The binding is the thread's own: each test binds a thread of its own, keeping the test's thread free.
class ProcessorFollowerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        allowed_ = Affinity();
        processors_ = Processors(allowed_);
        if (processors_.size() < 2) {
            GTEST_SKIP() << "one processor: nothing to follow";
        }
    }
    static void Follow(ProcessorFollower& follower, uint16_t hint, int calls) {
        for (int call = 0; call < calls; ++call) {
            follower.Follow(hint);
        }
    }

    cpu_set_t allowed_;
    std::vector<int> processors_;
};

TEST_F(ProcessorFollowerTest, FollowsACallerThatSettlesAndLetsGoOfOneThatMovesBackAndForth) {
    const int p = processors_[0];
    const int q = processors_[1];
    std::thread([&] {
        ProcessorFollower follower;
        Follow(follower, Hint(p), ProcessorFollower::kCallsBeforeMove - 1);
        EXPECT_EQ(follower.bound(), -1);
        EXPECT_TRUE(SameSet(allowed_, Affinity()));
        follower.Follow(Hint(p));
        EXPECT_EQ(follower.bound(), p);
        EXPECT_EQ(Processors(Affinity()), std::vector<int>{p});
        EXPECT_TRUE(follower.OnCallersProcessor());

        // A caller moving back and forth is not chased: the thread may run anywhere...
        for (int call = 0; call < 4 * ProcessorFollower::kCallsBeforeMove; ++call) {
            follower.Follow(Hint(call % 2 == 0 ? q : p));
            EXPECT_NE(follower.bound(), q);
            EXPECT_EQ(follower.OnCallersProcessor(), follower.bound() == p && call % 2 == 1);
        }
        EXPECT_EQ(follower.bound(), -1);
        EXPECT_TRUE(SameSet(allowed_, Affinity()));
        // ...until it settles.
        Follow(follower, Hint(q), ProcessorFollower::kCallsBeforeMove);
        EXPECT_EQ(follower.bound(), q);
        EXPECT_EQ(Processors(Affinity()), std::vector<int>{q});
        // A caller seen elsewhere now and then keeps it where it is.
        for (int call = 0; call < 4 * ProcessorFollower::kCallsBeforeMove; ++call) {
            follower.Follow(Hint(call % 3 == 0 ? p : q));
        }
        EXPECT_EQ(follower.bound(), q);
    }).join();
}

TEST_F(ProcessorFollowerTest, HintsItCannotUseLetTheThreadRunAnywhere) {
    int notAllowed = 0;
    while (notAllowed < CPU_SETSIZE && CPU_ISSET(notAllowed, &allowed_)) {
        ++notAllowed;
    }
    for (const uint16_t hint : {uint16_t{0}, Hint(notAllowed), Hint(CPU_SETSIZE), uint16_t{UINT16_MAX}}) {
        SCOPED_TRACE(hint);
        std::thread([&] {
            ProcessorFollower follower;
            Follow(follower, Hint(processors_[0]), ProcessorFollower::kCallsBeforeMove);
            ASSERT_EQ(follower.bound(), processors_[0]);
            Follow(follower, hint, ProcessorFollower::kCallsBeforeMove);
            EXPECT_EQ(follower.bound(), -1);
            EXPECT_TRUE(SameSet(allowed_, Affinity()));
        }).join();
    }
}

TEST(WatchSocket, LeavesTheMessageWhole) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    const char request[] = "request";
    ASSERT_EQ(send(ends[1], request, sizeof(request), 0), static_cast<ssize_t>(sizeof(request)));
    AdaptiveSpin spinner;
    EXPECT_TRUE(WatchSocket(ends[0], spinner));
    char received[32] = {};
    EXPECT_EQ(recv(ends[0], received, sizeof(received), MSG_DONTWAIT), static_cast<ssize_t>(sizeof(request)));
    EXPECT_STREQ(received, request);
    close(ends[0]);
    close(ends[1]);
}

}  // namespace
}  // namespace ce::wire
