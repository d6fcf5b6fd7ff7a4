// The serial control codes through DeviceIoControl and the comm API: what a handle without data access may
// ask, the size and pointer checks of every code that carries a record, the queue-size request, the
// immediate character, a settings change the port refuses, and the process-exit notification.
#include <cstring>

#include "driver/serial/serial_fixture.h"

namespace serialtest {
namespace {

using serialtest::PrintTo;

constexpr DWORD kPortOpenState = 0x001B006C;
constexpr BYTE kFill = 0xFF;
constexpr DWORD kTailBytes = 4;  // beyond what a code may write

// What the port looks like from its owner and its partner, to prove that a refused call changed nothing.
struct Snapshot {
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    DWORD mask = 0;
    DWORD held = 0;
    DWORD partnerLines = 0;
    DWORD partnerHeld = 0;

    static Snapshot Of(HANDLE owner, HANDLE partner) {
        Snapshot s;
        s.dcb = GetState(owner);
        EXPECT_TRUE(GetCommTimeouts(owner, &s.timeouts));
        EXPECT_TRUE(GetCommMask(owner, &s.mask));
        s.held = InQueue(owner);
        s.partnerLines = ModemLines(partner);
        s.partnerHeld = InQueue(partner);
        return s;
    }
    void ExpectSame(const Snapshot& other) const {
        EXPECT_EQ(std::memcmp(&dcb, &other.dcb, sizeof(DCB)), 0) << "the DCB changed";
        EXPECT_EQ(std::memcmp(&timeouts, &other.timeouts, sizeof(COMMTIMEOUTS)), 0) << "the timeouts changed";
        EXPECT_EQ(mask, other.mask);
        EXPECT_EQ(held, other.held);
        EXPECT_EQ(partnerLines, other.partnerLines);
        EXPECT_EQ(partnerHeld, other.partnerHeld);
    }
};

// An input record for a code that takes one, with harmless contents.
std::vector<BYTE> InputFor(DWORD code, HANDLE owner, DWORD size) {
    std::vector<BYTE> in(size, 0);
    if (code == IOCTL_SERIAL_SET_DCB && size >= sizeof(DCB)) {
        const DCB dcb = GetState(owner);
        std::memcpy(in.data(), &dcb, sizeof(DCB));
    } else if (code == IOCTL_SERIAL_SET_TIMEOUTS && size >= sizeof(COMMTIMEOUTS)) {
        COMMTIMEOUTS timeouts{};
        EXPECT_TRUE(GetCommTimeouts(owner, &timeouts));
        std::memcpy(in.data(), &timeouts, sizeof(COMMTIMEOUTS));
    } else if (code == IOCTL_SERIAL_IMMEDIATE_CHAR && size >= 1) {
        in[0] = 'Q';
    } else if (code == IOCTL_SERIAL_SET_WAIT_MASK && size >= sizeof(DWORD)) {
        const DWORD mask = EV_RXCHAR;
        std::memcpy(in.data(), &mask, sizeof(mask));
    }
    return in;
}

// ---- a handle opened with access 0 ----------------------------------------------------------------------

// Every code with the records it carries, and what a handle opened with access 0 gets for it.
struct CodeRow {
    const char* name;
    DWORD code;
    DWORD inSize;
    DWORD outSize;
    DWORD accessZeroError;  // 0: the call succeeds
};

const CodeRow kCodes[] = {
    {"GetWaitMask", IOCTL_SERIAL_GET_WAIT_MASK, 0, 4, 0},
    {"SetWaitMask", IOCTL_SERIAL_SET_WAIT_MASK, 4, 0, 0},
    // Let through; it fails only because the handle's mask is empty.
    {"WaitOnMask", IOCTL_SERIAL_WAIT_ON_MASK, 0, 4, ERROR_INVALID_PARAMETER},
    {"GetModemStatus", IOCTL_SERIAL_GET_MODEMSTATUS, 0, 4, 0},
    {"GetProperties", IOCTL_SERIAL_GET_PROPERTIES, 0, 64, 0},
    {"GetTimeouts", IOCTL_SERIAL_GET_TIMEOUTS, 0, 20, 0},
    {"OpenStateQuery", kPortOpenState, 0, 0, 0},
    // Let through to the port, which knows no power codes.
    {"PowerCapabilities", IOCTL_POWER_CAPABILITIES, 0, 0, ERROR_INVALID_PARAMETER},
    {"SetBreakOn", IOCTL_SERIAL_SET_BREAK_ON, 0, 0, ERROR_INVALID_ACCESS},
    {"SetBreakOff", IOCTL_SERIAL_SET_BREAK_OFF, 0, 0, ERROR_INVALID_ACCESS},
    {"SetDtr", IOCTL_SERIAL_SET_DTR, 0, 0, ERROR_INVALID_ACCESS},
    {"ClrDtr", IOCTL_SERIAL_CLR_DTR, 0, 0, ERROR_INVALID_ACCESS},
    {"SetRts", IOCTL_SERIAL_SET_RTS, 0, 0, ERROR_INVALID_ACCESS},
    {"ClrRts", IOCTL_SERIAL_CLR_RTS, 0, 0, ERROR_INVALID_ACCESS},
    {"SetXoff", IOCTL_SERIAL_SET_XOFF, 0, 0, ERROR_INVALID_ACCESS},
    {"SetXon", IOCTL_SERIAL_SET_XON, 0, 0, ERROR_INVALID_ACCESS},
    {"GetCommStatus", IOCTL_SERIAL_GET_COMMSTATUS, 0, 16, ERROR_INVALID_ACCESS},
    {"SetTimeouts", IOCTL_SERIAL_SET_TIMEOUTS, 20, 0, ERROR_INVALID_ACCESS},
    {"Purge", IOCTL_SERIAL_PURGE, 4, 0, ERROR_INVALID_ACCESS},
    {"SetQueueSize", IOCTL_SERIAL_SET_QUEUE_SIZE, 8, 0, ERROR_INVALID_ACCESS},
    {"ImmediateChar", IOCTL_SERIAL_IMMEDIATE_CHAR, 1, 0, ERROR_INVALID_ACCESS},
    {"GetDcb", IOCTL_SERIAL_GET_DCB, 0, 28, ERROR_INVALID_ACCESS},
    {"SetDcb", IOCTL_SERIAL_SET_DCB, 28, 0, ERROR_INVALID_ACCESS},
    {"EnableIr", IOCTL_SERIAL_ENABLE_IR, 0, 0, ERROR_INVALID_ACCESS},
    {"DisableIr", IOCTL_SERIAL_DISABLE_IR, 0, 0, ERROR_INVALID_ACCESS},
};

class AccessZeroTest : public PairTest,
                       public ::testing::WithParamInterface<std::tuple<const char16_t*, CodeRow>> {
  protected:
    AccessZeroTest() : PairTest(std::get<0>(GetParam())) {}
};

TEST_P(AccessZeroTest, OnlyQueriesAndEventsWithoutDataAccess) {
    const CodeRow& c = std::get<1>(GetParam());
    // The partner's lines and ring show whether a refused line or character control acted.
    Escape(a_, SETDTR);
    Escape(a_, SETRTS);
    HANDLE query = Reopen(0, 0);
    const Snapshot before = Snapshot::Of(a_, b_);

    std::vector<BYTE> in = InputFor(c.code, a_, c.inSize);
    std::vector<BYTE> out(c.outSize + kTailBytes, kFill);
    DWORD returned = kUnsetError;
    SetLastError(kUnsetError);
    const BOOL ok = DeviceIoControl(query, c.code, c.inSize ? in.data() : nullptr, c.inSize,
                                    c.outSize ? out.data() : nullptr, c.outSize, &returned, nullptr);
    const DWORD error = GetLastError();

    if (c.accessZeroError == 0) {
        EXPECT_TRUE(ok) << "error " << error;
        EXPECT_EQ(error, kUnsetError);
    } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, c.accessZeroError);
    }
    if (c.accessZeroError == ERROR_INVALID_ACCESS) {
        EXPECT_EQ(out, std::vector<BYTE>(c.outSize + kTailBytes, kFill)) << "a refused call wrote its output";
    }
    Snapshot after = Snapshot::Of(a_, b_);
    if (c.code == IOCTL_SERIAL_SET_WAIT_MASK) {
        DWORD mask = 0;
        EXPECT_TRUE(GetCommMask(query, &mask));
        EXPECT_EQ(mask, EV_RXCHAR);
    }
    Sleep(50);  // a character sent by mistake would have arrived
    after.partnerHeld = InQueue(b_);
    before.ExpectSame(after);
}

INSTANTIATE_TEST_SUITE_P(Codes, AccessZeroTest,
                         ::testing::Combine(::testing::ValuesIn(kFamilies), ::testing::ValuesIn(kCodes)),
                         [](const ::testing::TestParamInfo<AccessZeroTest::ParamType>& info) {
                             return FamilyName(std::get<0>(info.param)) + std::get<1>(info.param).name;
                         });

// ---- size and pointer checks ----------------------------------------------------------------------------

// How a call gets a record wrong or right: its length off by the delta, or a pointer missing.
struct Variant {
    const char* name;
    int lengthDelta;
    bool nullBuffer;
    bool nullReturned;
    bool Fails() const { return lengthDelta < 0 || nullBuffer || nullReturned; }
};

const Variant kVariants[] = {
    {"Short", -1, false, false},
    {"NullBuffer", 0, true, false},
    {"NullReturned", 0, false, true},
    {"Exact", 0, false, false},
    {"Longer", static_cast<int>(kTailBytes), false, false},
};

struct SizeCase {
    CodeRow code;
    Variant variant;
};

std::vector<SizeCase> SizeCases() {
    std::vector<SizeCase> cases;
    for (const CodeRow& code : kCodes) {
        const bool output = code.outSize != 0;
        for (const Variant& variant : kVariants) {
            // A code without output needs no returned length; a wait that passes its checks would block.
            if ((code.inSize == 0 && !output) || (variant.nullReturned && !output) ||
                (code.code == IOCTL_SERIAL_WAIT_ON_MASK && !variant.Fails())) {
                continue;
            }
            cases.push_back({code, variant});
        }
    }
    return cases;
}

class SizeCheckTest : public PairTest,
                      public ::testing::WithParamInterface<std::tuple<const char16_t*, SizeCase>> {
  protected:
    SizeCheckTest() : PairTest(std::get<0>(GetParam())) {}
};

TEST_P(SizeCheckTest, RecordsOfTheWrongSizeAreRefusedAndTouchNothing) {
    const CodeRow& c = std::get<1>(GetParam()).code;
    const Variant& variant = std::get<1>(GetParam()).variant;
    const bool output = c.outSize != 0;
    // A ring with bytes in it shows a purge; a mask makes a wait that passes its checks block.
    ASSERT_EQ(Write(b_, Stream(1).Take(5)), 5u);
    ASSERT_TRUE(WaitForInQueue(a_, 5));
    SetMask(a_, EV_CTS);
    const Snapshot before = Snapshot::Of(a_, b_);

    const DWORD length = (output ? c.outSize : c.inSize) + variant.lengthDelta;
    std::vector<BYTE> in = InputFor(c.code, a_, c.inSize + kTailBytes);
    if (c.code == IOCTL_SERIAL_PURGE) {
        const DWORD flags = PURGE_RXCLEAR;
        std::memcpy(in.data(), &flags, sizeof(flags));
    }
    std::vector<BYTE> out(c.outSize + kTailBytes, kFill);
    BYTE* inBuffer = output || variant.nullBuffer ? nullptr : in.data();
    BYTE* outBuffer = !output || variant.nullBuffer ? nullptr : out.data();
    DWORD returned = kUnsetError;
    DWORD* returnedPointer = variant.nullReturned ? nullptr : &returned;

    BOOL ok = FALSE;
    DWORD error = kUnsetError;
    Background call([&] {
        SetLastError(kUnsetError);
        ok = DeviceIoControl(a_, c.code, inBuffer, output ? 0 : length, outBuffer, output ? length : 0,
                             returnedPointer, nullptr);
        error = GetLastError();
    });
    ASSERT_TRUE(call.Wait(kSoonMs)) << "the call went past its checks and blocked";

    if (variant.Fails()) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(out, std::vector<BYTE>(c.outSize + kTailBytes, kFill)) << "a refused call wrote its output";
        Sleep(50);
        Snapshot::Of(a_, b_).ExpectSame(before);
        return;
    }
    EXPECT_TRUE(ok) << "error " << error;
    if (output) {
        EXPECT_EQ(returned, c.outSize);
        EXPECT_EQ(std::vector<BYTE>(out.begin() + c.outSize, out.end()), std::vector<BYTE>(kTailBytes, kFill))
            << "the call wrote past its record";
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, SizeCheckTest,
                         ::testing::Combine(::testing::ValuesIn(kFamilies), ::testing::ValuesIn(SizeCases())),
                         [](const ::testing::TestParamInfo<SizeCheckTest::ParamType>& info) {
                             const SizeCase& c = std::get<1>(info.param);
                             return FamilyName(std::get<0>(info.param)) + c.code.name + c.variant.name;
                         });

// ---- queue size, immediate character, settings --------------------------------------------------

class SerialControlTest : public PairTest {};

TEST_F(SerialControlTest, SetupCommChangesNothing) {
    const Snapshot before = Snapshot::Of(a_, b_);
    EXPECT_TRUE(SetupComm(a_, 8, 8));
    EXPECT_TRUE(SetupComm(a_, 1u << 20, 1u << 20));
    before.ExpectSame(Snapshot::Of(a_, b_));
    // The ring keeps its size.
    EXPECT_EQ(Write(b_, Stream(3).Take(3000)), 3000u);
    DWORD errors = 0;
    EXPECT_EQ(Status(a_, &errors).cbInQue, kRingCapacity);
    EXPECT_EQ(errors, static_cast<DWORD>(CE_RXOVER));
}

// The immediate character overtakes a write that XOFF holds, and never waits for it.
TEST_F(SerialControlTest, ImmediateCharacterGoesAheadOfAHeldWrite) {
    ChangeState(a_, [](DCB& dcb) { dcb.fOutX = 1; });
    Escape(a_, SETXOFF);
    const std::vector<BYTE> bytes = {'h', 'e', 'l', 'l', 'o'};
    Transfer write;
    Background writer([&] { write = WriteCall(a_, bytes.data(), 5); });
    EXPECT_FALSE(writer.Wait(100));

    const ce_test::Stopwatch clock;
    EXPECT_TRUE(TransmitCommChar(a_, 'Z'));
    EXPECT_LE(clock.ElapsedMs(), ce_test::UpperBoundMs(0));
    SetTimeouts(b_, WaitForAny(kSoonMs));
    EXPECT_EQ(Read(b_, 10), std::vector<BYTE>{'Z'});
    EXPECT_FALSE(writer.Done());

    Escape(a_, SETXON);
    ASSERT_TRUE(writer.Wait(kSoonMs));
    EXPECT_EQ(write.bytes, 5u);
    EXPECT_EQ(Drain(b_), bytes);
}

// A character for a partner that is closed is lost, and holds up nothing after it.
TEST_F(SerialControlTest, ImmediateCharacterToAClosedPartnerIsLost) {
    ASSERT_TRUE(CloseHandle(b_));
    b_ = INVALID_HANDLE_VALUE;
    EXPECT_TRUE(TransmitCommChar(a_, 'Z'));
    const ce_test::Stopwatch clock;
    EXPECT_TRUE(TransmitCommChar(a_, 'Y'));
    EXPECT_EQ(Write(a_, Stream(4).Take(10)), 0u);
    EXPECT_LE(clock.ElapsedMs(), ce_test::UpperBoundMs(0));
    b_ = tulktest::OpenByName(Name(1), kData);
    ASSERT_NE(b_, INVALID_HANDLE_VALUE);
    Sleep(50);
    EXPECT_EQ(InQueue(b_), 0u);
}

// Settings the port refuses while open leave the DCB, XON/XOFF handling and the lines as they were; the
// accepted ones take effect whole.
struct DcbCase {
    const char* name;
    void (*change)(DCB& dcb);
    bool accepted;
};

// Which values a port takes is the virtual layer's table; here one refusal of each kind and one acceptance.
const DcbCase kDcbCases[] = {
    {"Baud56000", [](DCB& dcb) { dcb.BaudRate = 56000; }, false},
    {"GoodBaudBadByteSize",
     [](DCB& dcb) {
         dcb.BaudRate = 19200;
         dcb.ByteSize = 9;
     },
     false},
    {"Baud115200SevenBitsSpaceParity",
     [](DCB& dcb) {
         dcb.BaudRate = 115200;
         dcb.ByteSize = 7;
         dcb.Parity = SPACEPARITY;
     },
     true},
};

class SetDcbTest : public PairTest, public ::testing::WithParamInterface<DcbCase> {};

TEST_P(SetDcbTest, RefusedSettingsChangeNothing) {
    const DcbCase& c = GetParam();
    ChangeState(a_, [](DCB& dcb) {
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    });
    constexpr DWORD kAllLines = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
    ASSERT_TRUE(tulktest::WaitUntil([&] { return (ModemLines(b_) & kAllLines) == kAllLines; }, kSoonMs));
    const DCB before = GetState(a_);

    DCB wanted = before;
    c.change(wanted);
    wanted.fOutX = 1;
    wanted.fDtrControl = DTR_CONTROL_DISABLE;
    wanted.fRtsControl = RTS_CONTROL_DISABLE;
    SetLastError(kUnsetError);
    const BOOL ok = SetCommState(a_, &wanted);
    const DCB after = GetState(a_);
    Escape(a_, SETXOFF);  // holds writes only if XON/XOFF handling was switched on

    if (c.accepted) {
        EXPECT_TRUE(ok) << "error " << GetLastError();
        EXPECT_EQ(std::memcmp(&after, &wanted, sizeof(DCB)), 0);
        EXPECT_EQ(Status(a_).fXoffHold, 1u);
        EXPECT_TRUE(tulktest::WaitUntil([&] { return (ModemLines(b_) & kAllLines) == 0; }, kSoonMs));
    } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(std::memcmp(&after, &before, sizeof(DCB)), 0) << "the refused DCB was kept";
        EXPECT_EQ(Status(a_).fXoffHold, 0u);
        Sleep(50);
        EXPECT_EQ(ModemLines(b_) & kAllLines, kAllLines);
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, SetDcbTest, ::testing::ValuesIn(kDcbCases), RowName{});

// ---- the process-exit notification ----------------------------------------------------------------------

DEVICE_PSL_NOTIFY ExitPacket() {
    DEVICE_PSL_NOTIFY packet{};
    packet.dwSize = sizeof(packet);
    packet.dwFlags = DLL_PROCESS_EXITING;
    return packet;
}

BOOL Notify(HANDLE port, void* packet, DWORD size) {
    DWORD returned = kUnsetError;
    return DeviceIoControl(port, IOCTL_PSL_NOTIFY, packet, size, nullptr, 0, &returned, nullptr);
}

class ProcessExitTest : public PairTest {};

TEST_F(ProcessExitTest, ReleasesPendingReadWriteAndWaitAtOnce) {
    SetTimeouts(a_, {0, 0, 0, 0, 0});
    ChangeState(a_, [](DCB& dcb) { dcb.fOutX = 1; });
    Escape(a_, SETXOFF);
    SetMask(a_, EV_RXCHAR);

    std::vector<BYTE> readBuffer(10);
    const std::vector<BYTE> bytes = Stream(1).Take(10);
    Transfer read;
    Transfer write;
    BOOL waited = FALSE;
    DWORD events = kUnsetError;
    Background reader([&] { read = ReadCall(a_, readBuffer.data(), 10); });
    Background writer([&] { write = WriteCall(a_, bytes.data(), 10); });
    Background waiter([&] { waited = WaitCommEvent(a_, &events, nullptr); });
    EXPECT_FALSE(reader.Wait(kQuietMs));
    EXPECT_FALSE(writer.Done());
    EXPECT_FALSE(waiter.Done());

    DEVICE_PSL_NOTIFY packet = ExitPacket();
    const ce_test::Stopwatch clock;
    EXPECT_TRUE(Notify(a_, &packet, sizeof(packet)));
    for (Background* call : {&reader, &writer, &waiter}) {
        EXPECT_TRUE(call->Wait(kSoonMs));
    }
    EXPECT_LE(clock.ElapsedMs(), ce_test::UpperBoundMs(100));
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.bytes, 0u);
    EXPECT_TRUE(write.ok);
    EXPECT_EQ(write.bytes, 0u);
    EXPECT_TRUE(waited);
    EXPECT_EQ(events, 0u);
    EXPECT_EQ(InQueue(b_), 0u);

    // Nothing was closed: the handle goes on working.
    Escape(a_, SETXON);
    EXPECT_EQ(Write(a_, bytes), 10u);
    EXPECT_EQ(Drain(b_), bytes);
    EXPECT_EQ(Write(b_, bytes), 10u);
    EXPECT_EQ(Read(a_, 10), bytes);
}

// An open that races the owner's close waits for it and then gets the port: during the close's drain of a
// blocked read, and between a process-exit release and the close that follows it (a killed program's
// handles are released first, then closed).
TEST_F(ProcessExitTest, AnOpenRacingTheOwnersCloseWaitsForItAndGetsThePort) {
    for (bool releasedFirst : {false, true}) {
        SCOPED_TRACE(releasedFirst ? "after a process-exit release" : "during the close");
        SetTimeouts(a_, {0, 0, 0, 0, 0});
        std::vector<BYTE> buffer(10);
        Background reader([&] { ReadCall(a_, buffer.data(), 10); });
        EXPECT_FALSE(reader.Wait(kQuietMs));
        HANDLE owner = a_;
        if (releasedFirst) {
            DEVICE_PSL_NOTIFY packet = ExitPacket();
            EXPECT_TRUE(Notify(owner, &packet, sizeof(packet)));
            ASSERT_TRUE(reader.Wait(kSoonMs));
        }
        Background closer([&] {
            if (releasedFirst) {
                Sleep(kQuietMs);  // the open comes first
            }
            EXPECT_TRUE(CloseHandle(owner));
        });
        if (!releasedFirst) {
            // The read ends once the close drains it: the open then races the rest of the close.
            ASSERT_TRUE(reader.Wait(kSoonMs));
        }
        a_ = tulktest::OpenByName(Name(0), kData);
        EXPECT_NE(a_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
        EXPECT_TRUE(closer.Wait(kSoonMs));
        EXPECT_TRUE(reader.Wait(kSoonMs));
        if (a_ == INVALID_HANDLE_VALUE) {
            return;
        }
    }
}

// Any other packet is acknowledged and releases nothing; so is any packet on a handle without access.
struct PacketCase {
    const char* name;
    DWORD size;    // of the packet's size word
    DWORD flags;   // of its flags word
    DWORD length;  // the input length given
    bool null;
};

const PacketCase kPacketCases[] = {
    {"WrongSizeWord", 12, DLL_PROCESS_EXITING, 16, false},
    {"NotExiting", 16, DLL_PROCESS_DETACH, 16, false},
    {"ShortInput", 16, DLL_PROCESS_EXITING, 8, false},
    {"NoPacket", 16, DLL_PROCESS_EXITING, 16, true},
};

class OtherPacketTest : public PairTest, public ::testing::WithParamInterface<PacketCase> {};

TEST_P(OtherPacketTest, AcknowledgedAndReleasesNothing) {
    const PacketCase& c = GetParam();
    SetTimeouts(a_, {0, 0, 0, 0, 0});
    std::vector<BYTE> buffer(10);
    Transfer read;
    Background reader([&] { read = ReadCall(a_, buffer.data(), 10); });
    EXPECT_FALSE(reader.Wait(100));

    DEVICE_PSL_NOTIFY packet = ExitPacket();
    packet.dwSize = c.size;
    packet.dwFlags = c.flags;
    EXPECT_TRUE(Notify(a_, c.null ? nullptr : &packet, c.length));
    EXPECT_FALSE(reader.Wait(kQuietMs)) << "the read was released";

    HANDLE query = Reopen(0, 0);
    packet = ExitPacket();
    EXPECT_TRUE(Notify(query, &packet, sizeof(packet)));
    EXPECT_FALSE(reader.Wait(kQuietMs)) << "a handle without access released the owner's read";

    EXPECT_TRUE(PurgeComm(a_, PURGE_RXABORT));
    ASSERT_TRUE(reader.Wait(kSoonMs));
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.bytes, 0u);
}

INSTANTIATE_TEST_SUITE_P(Packets, OtherPacketTest, ::testing::ValuesIn(kPacketCases), RowName{});

}  // namespace
}  // namespace serialtest
