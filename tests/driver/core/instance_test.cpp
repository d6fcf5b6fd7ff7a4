// Instances in-process with the virtual port layer: failures of COM_Init leave nothing behind, what a
// first open sets and what survives a last close, and the dispatch thread's priority.
#include <gtest/gtest.h>

#include <optional>

#include "driver/core/in_process.h"
#include "virtual/port_table.h"

namespace tulktest {
namespace {

// The PortState the port table gives as `state`'s partner, or null.
PortState* PartnerOf(PortState* state) {
    PartnerRef partner;
    if (!AcquirePartner(state->Port, &partner)) {
        return nullptr;
    }
    PortState* found = partner.state;
    ReleasePartner(&partner);
    return found;
}

struct FaultSweep {
    const char* name;     // of the fault point
    int minimumFailures;  // calls of that kind the core itself makes while creating an instance
};

class InitFaultTest : public InProcessTest, public ::testing::WithParamInterface<FaultSweep> {};

// Fails the n-th call of the kind for n = 0, 1, ... until the creation gets past every such call.
TEST_P(InitFaultTest, EveryFailureLeavesNothingBehind) {
    PortState* partner = Create(PairEnd(u"COM", 1));
    ASSERT_NE(partner, nullptr);
    const int threads = ThreadCount();
    int failures = 0;
    for (DWORD skip = 0;; ++skip) {
        ASSERT_TRUE(CePlatformInjectFault(GetParam().name, skip, ERROR_NOT_ENOUGH_MEMORY));
        PortState* state = Create(PairEnd(u"COM", 0));
        CePlatformClearFaults();
        if (state != nullptr) {
            break;
        }
        ++failures;
        EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threads; }, 2000)) << "skip " << skip;
        EXPECT_EQ(PartnerOf(partner), nullptr) << "skip " << skip;
    }
    EXPECT_GE(failures, GetParam().minimumFailures);
    EXPECT_NE(PartnerOf(partner), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Points, InitFaultTest,
                         ::testing::Values(FaultSweep{"CreateEventW", 4}, FaultSweep{"LocalAlloc", 2},
                                           FaultSweep{"CreateThread", 1}),
                         RowName{});

class PriorityTest : public InProcessTest,
                     public ::testing::WithParamInterface<std::pair<std::optional<DWORD>, int>> {};

TEST_P(PriorityTest, RaisedByAFirstOpenAndNormalAfterEveryClose) {
    constexpr int kNormal = 251;
    if (GetParam().first) {
        SetDword(PortKeyPath(0), u"Priority256", *GetParam().first);
    }
    PortState* state = Create(PairEnd(u"KMX", 0));
    ASSERT_NE(state, nullptr);
    const int raised = GetParam().second;
    EXPECT_EQ(Priority(state), kNormal);
    OpenContext* owner = Open(state, GENERIC_READ | GENERIC_WRITE);
    OpenContext* query = Open(state, 0);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(Priority(state), raised);
    ASSERT_TRUE(COM_Close(Handle(query)));
    EXPECT_EQ(Priority(state), kNormal);  // although the owner is still open
    query = Open(state, 0);
    EXPECT_EQ(Priority(state), kNormal);  // not a first open
    ASSERT_TRUE(COM_Close(Handle(query)));
    ASSERT_TRUE(COM_Close(Handle(owner)));
    EXPECT_EQ(Priority(state), kNormal);
    ASSERT_NE(Open(state, 0), nullptr);
    EXPECT_EQ(Priority(state), raised);
}

INSTANTIATE_TEST_SUITE_P(Values, PriorityTest,
                         ::testing::Values(std::make_pair(std::optional<DWORD>(), 103),
                                           std::make_pair(std::optional<DWORD>(200), 200),
                                           std::make_pair(std::optional<DWORD>(300), 103)));

}  // namespace
}  // namespace tulktest
