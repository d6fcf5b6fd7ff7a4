// The ranked locks: a correct order passes, every wrong one aborts with both locks named. Built with the
// checks forced on, whatever the build type.
#include <gtest/gtest.h>

#include <thread>

#include "core/lock_order.h"

static_assert(TULK_LOCK_CHECKS == 1, "this test needs the checks");

namespace {

class LockOrderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitRankedLock(&open_, kRankOpen, "OpenLock");
        InitRankedLock(&list_, kRankList, "ListLock");
        InitRankedLock(&event_, kRankEvent, "EventLock");
        InitRankedLock(&otherEvent_, kRankEvent, "OtherEventLock");
    }
    void TearDown() override {
        for (RankedLock* lock : {&open_, &list_, &event_, &otherEvent_}) {
            DeleteRankedLock(lock);
        }
    }
    RankedLock open_{}, list_{}, event_{}, otherEvent_{};
};

TEST_F(LockOrderTest, AscendingOrderReentryAndEarlyReleasePass) {
    {
        LockGuard open(open_);
        LockGuard list(list_);
        LockGuard again(open_);  // re-entering a held lock is allowed whatever is held above it
        LockGuard event(event_);
        list.Unlock();  // leaving out of order is allowed too
    }
    // Everything was released: a low rank may be taken again, then the high one after it.
    LockGuard event(event_);
    event.Unlock();
    LockGuard open(open_);
}

TEST_F(LockOrderTest, HeldLocksAreCountedPerThread) {
    LockGuard event(event_);
    std::thread other([this] { LockGuard open(open_); });
    other.join();
}

struct Violation {
    const char* name;
    int first;  // 0 open, 1 list, 2 event, 3 other event
    int second;
    const char* message;
};

class LockOrderViolationTest : public LockOrderTest, public ::testing::WithParamInterface<Violation> {
  protected:
    RankedLock* Lock(int which) {
        RankedLock* locks[] = {&open_, &list_, &event_, &otherEvent_};
        return locks[which];
    }
};

TEST_P(LockOrderViolationTest, Aborts) {
    const Violation& v = GetParam();
    EXPECT_DEATH(
        {
            LockGuard first(*Lock(v.first));
            LockGuard second(*Lock(v.second));
        },
        v.message);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, LockOrderViolationTest,
    ::testing::Values(Violation{"LowerAfterHigher", 2, 0,
                                "lock order: taking OpenLock\\(30\\) while holding EventLock\\(90\\)"},
                      Violation{"ListAfterEvent", 2, 1,
                                "lock order: taking ListLock\\(80\\) while holding EventLock\\(90\\)"},
                      Violation{"TwoOfOneRank", 2, 3,
                                "lock order: taking OtherEventLock\\(90\\) while holding EventLock\\(90\\)"}),
    [](const ::testing::TestParamInfo<Violation>& info) { return std::string(info.param.name); });

TEST_F(LockOrderTest, ReleasingALockNotHeldAborts) {
    EXPECT_DEATH(ReleaseRankedLock(&open_), "lock order: releasing OpenLock\\(30\\)");
}

}  // namespace
