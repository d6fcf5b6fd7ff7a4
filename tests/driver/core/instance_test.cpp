// Instances in-process with the virtual port layer: failures of COM_Init leave nothing behind, the port
// table is reset by the first instance only, and what a first open sets and what survives a last close.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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
    const char* point;
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
        ASSERT_TRUE(CePlatformInjectFault(GetParam().point, skip, ERROR_NOT_ENOUGH_MEMORY));
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
                         [](const ::testing::TestParamInfo<FaultSweep>& info) {
                             return std::string(info.param.point);
                         });

class BadIndexTest : public InProcessTest, public ::testing::WithParamInterface<std::optional<DWORD>> {};

TEST_P(BadIndexTest, FailsWithoutTouchingTheTable) {
    PortState* first = Create(PairEnd(u"COM", 0));
    PortState* second = Create(PairEnd(u"COM", 1));
    ASSERT_NE(second, nullptr);
    const std::u16string active = WriteKeys(PortKey{.arrayIndex = 2, .number = 7, .partner = 1});
    if (GetParam()) {
        SetDword(PortKeyPath(2), u"DeviceArrayIndex", *GetParam());
    } else {
        DeleteValue(PortKeyPath(2), u"DeviceArrayIndex");
    }
    const int threads = ThreadCount();
    EXPECT_EQ(CreateFromActive(active), nullptr);
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(PartnerOf(second), first);
}

INSTANTIATE_TEST_SUITE_P(Values, BadIndexTest,
                         ::testing::Values(std::nullopt, std::optional<DWORD>(20),
                                           std::optional<DWORD>(0xFFFFFFFFu)));

// Each test starts as if the module had just been loaded, whatever ran before it in this process.
class InstanceTest : public InProcessTest {
  protected:
    void SetUp() override {
        InProcessTest::SetUp();
        ResetPortTable();
    }
};

TEST_F(InstanceTest, ActiveKeyNamingAMissingKeyFailsAndTheNextInitWorks) {
    const int threads = ThreadCount();
    EXPECT_EQ(CreateFromActive(WriteActiveKey(70, PortKeyPath(9))), nullptr);
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_TRUE(FirstInstancePending());
    EXPECT_NE(Create(PortKey{.arrayIndex = 9}), nullptr);
    EXPECT_FALSE(FirstInstancePending());
}

// A slot left filled from before is emptied by the first instance after loading, and only by it.
TEST_F(InstanceTest, OnlyTheFirstInstanceEmptiesTheTable) {
    PortState* stale = AllocatePortState();
    FillPortSlot(3, stale);
    PortState* port = Create(PortKey{.arrayIndex = 2, .partner = 3});
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(PartnerOf(port), nullptr);
    FillPortSlot(3, stale);
    ASSERT_NE(Create(PortKey{.arrayIndex = 4, .number = 6}), nullptr);
    EXPECT_EQ(PartnerOf(port), stale);
    EmptyPortSlot(3, stale);
    ReleasePortState(stale);
}

class FirstOpenTest : public InProcessTest, public ::testing::WithParamInterface<BYTE> {};

// Everything a first open owns is pre-filled, so what it leaves alone shows as the fill.
TEST_P(FirstOpenTest, SetsTheDcbCountersFlagsAndRing) {
    const BYTE fill = GetParam();
    PortState* state = Create(PairEnd(u"COM", 0));
    ASSERT_NE(state, nullptr);
    std::memset(&state->Dcb, fill, sizeof(DCB));
    for (auto* counter : {&state->RxBytes, &state->TxBytes, &state->TxBytesPending, &state->DroppedBytesCore,
                          &state->DroppedBytesPort}) {
        counter->store(7);
    }
    const DWORD kept = kFlagAbortTransmit;
    SetFlag(state, kept | kFlagXFlow | kFlagStopXmit | kFlagSentXoff | kFlagDtrFlowOff | kFlagRtsFlowOff);
    {
        LockGuard rx(state->RxLock);
        std::memset(state->RxBuffer, 0xAA, state->RxLength);
        state->RxRead.store(3);
        state->RxWrite.store(9);
    }
    ASSERT_NE(Open(state, GENERIC_READ | GENERIC_WRITE), nullptr);

    // 9600 8N1, DTR and RTS on, binary, nothing else in the low 15 bits of the flag word; the reserved
    // bits and words keep the fill.
    DCB expected;
    std::memset(&expected, fill, sizeof(expected));
    const DWORD flagWord = (fill == 0 ? 0u : 0xFFFF8000u) | 0x1011u;
    std::memcpy(reinterpret_cast<BYTE*>(&expected) + 2 * sizeof(DWORD), &flagWord, sizeof(flagWord));
    expected.DCBlength = 28;
    expected.BaudRate = 9600;
    expected.XonLim = 512;
    expected.XoffLim = 128;
    expected.ByteSize = 8;
    expected.Parity = NOPARITY;
    expected.StopBits = ONESTOPBIT;
    expected.XonChar = 0x11;
    expected.XoffChar = 0x13;
    expected.ErrorChar = expected.EofChar = expected.EvtChar = 0x0D;
    const DCB dcb = GetDcb(state);
    EXPECT_EQ(std::memcmp(&dcb, &expected, sizeof(DCB)), 0);
    for (auto* counter : {&state->RxBytes, &state->TxBytes, &state->TxBytesPending, &state->DroppedBytesCore,
                          &state->DroppedBytesPort}) {
        EXPECT_EQ(counter->load(), 0u);
    }
    EXPECT_EQ(state->Flags.load(), kept);
    EXPECT_EQ(state->RxRead.load(), 0u);
    EXPECT_EQ(state->RxWrite.load(), 0u);
    EXPECT_EQ(std::count(state->RxBuffer, state->RxBuffer + state->RxLength, 0), 2048);
}

INSTANTIATE_TEST_SUITE_P(Fills, FirstOpenTest, ::testing::Values(BYTE{0x00}, BYTE{0xFF}));

// XON/XOFF goes with the DCB a first open resets, so a reopened port never acts on what it reports off.
TEST_F(InstanceTest, TimeoutsSurviveTheLastCloseAndOnlyAFirstOpenResetsTheDcbAndXFlow) {
    PortState* state = Create(PairEnd(u"COM", 0));
    ASSERT_NE(state, nullptr);
    constexpr COMMTIMEOUTS kInitial = {250, 10, 100, 0, 0};
    const COMMTIMEOUTS custom = {1, 2, 3, 4, 5};
    EXPECT_EQ(std::memcmp(&state->Timeouts, &kInitial, sizeof(kInitial)), 0);
    OpenContext* owner = Open(state, GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(owner, nullptr);
    SetTimeoutsCopy(state, custom);
    SetFlag(state, kFlagXFlow);
    DCB changed = GetDcb(state);
    changed.BaudRate = 19200;
    SetDcbCopy(state, changed);
    ASSERT_TRUE(COM_Close(Handle(owner)));
    EXPECT_EQ(GetDcb(state).BaudRate, 19200u);

    owner = Open(state, GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(GetDcb(state).BaudRate, 9600u);
    const COMMTIMEOUTS now = GetTimeouts(state);
    EXPECT_EQ(std::memcmp(&now, &custom, sizeof(custom)), 0);
    EXPECT_FALSE(HasFlag(state, kFlagXFlow));
    SetFlag(state, kFlagXFlow);

    // An access-0 handle that stays open makes the next data open an ordinary one.
    OpenContext* query = Open(state, 0);
    ASSERT_NE(query, nullptr);
    SetDcbCopy(state, changed);
    ASSERT_TRUE(COM_Close(Handle(owner)));
    ASSERT_NE(Open(state, GENERIC_READ), nullptr);
    EXPECT_EQ(GetDcb(state).BaudRate, 19200u);
    EXPECT_TRUE(HasFlag(state, kFlagXFlow));
}

class PriorityTest : public InProcessTest,
                     public ::testing::WithParamInterface<std::pair<std::optional<DWORD>, int>> {};

TEST_P(PriorityTest, RaisedByAFirstOpenAndNormalAfterEveryClose) {
    constexpr int kNormal = 251;
    const std::u16string active = WriteKeys(PairEnd(u"KMX", 0));
    if (GetParam().first) {
        SetDword(PortKeyPath(0), u"Priority256", *GetParam().first);
    }
    PortState* state = CreateFromActive(active);
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
