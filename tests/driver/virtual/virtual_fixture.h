// Pairs of virtual ports made in this process by the core from keys as the manager writes them. A "quiet"
// pair has no dispatch threads: the test serves each port itself through its slots, so every step of a
// crossing happens exactly when the test says. A "live" pair runs the core's dispatch threads.
#pragma once

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "core/instance.h"
#include "core/port_state.h"
#include "driver/core/in_process.h"
#include "virtual/port_table.h"
#include "virtual/virtual_port.h"

namespace vtest {

using tulktest::PortKey;

// The virtual port layer with the dispatch thread left to the test.
extern const PortLayer kQuietLayer;

inline VirtualPort* Vp(PortState* state) {
    return state->Port;
}
inline const PortOps& Ops(PortState* state) {
    return *state->Ops->ops;
}

// Communication events the layer reports for ports whose callback the test took over.
struct EventRecord {
    DWORD events = 0;  // OR of everything reported
    int calls = 0;
};
// The port watches every event from now on and records what the layer reports.
void RecordEvents(PortState* state);
EventRecord TakeEvents(PortState* state);

// A bit pattern that shows order and loss: byte i of a stream is i * 7 + 3 (mod 256), never 0 or 0x0D in
// the first 256 bytes except where a test puts them.
std::vector<BYTE> Pattern(size_t length, size_t start = 0);

// One TxIntr call in a thread of its own; for writers that block until the partner acts.
class AsyncTransmit {
  public:
    AsyncTransmit(PortState* state, const BYTE* source, DWORD count);
    ~AsyncTransmit();
    AsyncTransmit(const AsyncTransmit&) = delete;
    AsyncTransmit& operator=(const AsyncTransmit&) = delete;
    // True when the call returned within the time.
    bool Wait(DWORD timeoutMs);
    DWORD Taken() const { return taken_.load(); }

  private:
    PortState* state_;
    std::atomic<DWORD> taken_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class VirtualPortTest : public tulktest::InProcessTest {
  protected:
    void SetUp() override;
    // The two ends of a pair in slots 0 and 1 (COM5: and COM6:), not yet open.
    void CreatePair(const PortLayer& layer = kQuietLayer);
    OpenContext* OpenData(PortState* state) { return Open(state, GENERIC_READ | GENERIC_WRITE); }
    // Opens both ends for reading and writing, as the applications of a pair would.
    void OpenPair() {
        handleA_ = OpenData(a_);
        handleB_ = OpenData(b_);
        ASSERT_NE(handleA_, nullptr);
        ASSERT_NE(handleB_, nullptr);
    }
    static void CloseHandleOf(OpenContext* context) { EXPECT_TRUE(COM_Close(Handle(context))); }
    // Asks the port for reports until one has `bit`, or the time is up; answers that report or 0.
    static DWORD WaitForReport(PortState* state, DWORD bit, DWORD timeoutMs);
    // Changes the port's settings as IOCTL_SERIAL_SET_DCB would, starting from its current ones.
    static BOOL ChangeDcb(PortState* state, const std::function<void(DCB*)>& change);

    PortState* a_ = nullptr;
    PortState* b_ = nullptr;
    OpenContext* handleA_ = nullptr;
    OpenContext* handleB_ = nullptr;
};

}  // namespace vtest
