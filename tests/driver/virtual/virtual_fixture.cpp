#include "driver/virtual/virtual_fixture.h"

#include <map>
#include <mutex>

namespace vtest {
namespace {

constexpr DWORD kReportPollMs = 1;

PortOpsObject* CreateQuietOps(DWORD deviceArrayIndex) {
    PortOpsObject* object = CreatePortOpsObject(deviceArrayIndex);
    if (object != nullptr) {
        object->bindFlags &= ~kBindOwnDispatchThread;
    }
    return object;
}

struct EventLog {
    std::mutex lock;
    std::map<PortState*, EventRecord> records;
};

EventLog& Log() {
    static auto* log = new EventLog;
    return *log;
}

void RecordCallback(PortState* state, DWORD events) {
    std::lock_guard<std::mutex> guard(Log().lock);
    EventRecord& record = Log().records[state];
    record.events |= events;
    ++record.calls;
}

constexpr DWORD kEveryCommEvent =
    EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING;

}  // namespace

const PortLayer kQuietLayer = {CreateQuietOps, ReleasePortOpsObject};

void RecordEvents(PortState* state) {
    state->EventMask.store(kEveryCommEvent);  // the layer reports only the line changes a port watches
    Vp(state)->eventCallback = RecordCallback;
    TakeEvents(state);
}

EventRecord TakeEvents(PortState* state) {
    std::lock_guard<std::mutex> guard(Log().lock);
    const EventRecord record = Log().records[state];
    Log().records.erase(state);
    return record;
}

std::vector<BYTE> Pattern(size_t length, size_t start) {
    std::vector<BYTE> bytes(length);
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<BYTE>((start + i) * 7 + 3);
    }
    return bytes;
}

AsyncTransmit::AsyncTransmit(PortState* state, const BYTE* source, DWORD count)
    : state_(state), taken_(count) {
    thread_ = std::thread([this, state, source, count] {
        DWORD taken = count;
        Ops(state).TxIntr(Vp(state), source, &taken);
        taken_.store(taken);
        done_.store(true);
    });
}

AsyncTransmit::~AsyncTransmit() {
    // A test that failed may leave the writer waiting; end its wait so the test ends too.
    if (!done_.load()) {
        PartnerRef partner;
        if (AcquirePartner(Vp(state_), &partner)) {
            if (partner.port != nullptr) {
                AbandonDelivery(partner.port);
            }
            ReleasePartner(&partner);
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool AsyncTransmit::Wait(DWORD timeoutMs) {
    return tulktest::WaitUntil([this] { return done_.load(); }, timeoutMs);
}

void VirtualPortTest::SetUp() {
    InProcessTest::SetUp();
    // Tests share one process when run together; each starts from a freshly loaded module's table.
    ResetPortTable();
}

void VirtualPortTest::CreatePair(const PortLayer& layer) {
    a_ = Create(tulktest::PairEnd(u"COM", 0), layer);
    b_ = Create(tulktest::PairEnd(u"COM", 1), layer);
    ASSERT_NE(a_, nullptr);
    ASSERT_NE(b_, nullptr);
}

DWORD VirtualPortTest::WaitForReport(PortState* state, DWORD bit, DWORD timeoutMs) {
    DWORD report = 0;
    tulktest::WaitUntil(
        [&] {
            report = Ops(state).GetInterruptType(Vp(state));
            if ((report & bit) != 0) {
                return true;
            }
            Sleep(kReportPollMs);
            return false;
        },
        timeoutMs);
    return (report & bit) != 0 ? report : 0;
}

BOOL VirtualPortTest::ChangeDcb(PortState* state, const std::function<void(DCB*)>& change) {
    DCB dcb;
    {
        LockGuard reg(Vp(state)->registerLock);
        dcb = Vp(state)->dcb;
    }
    change(&dcb);
    return Ops(state).SetDCB(Vp(state), &dcb);
}

}  // namespace vtest
