// Instances created in this process from keys as the manager writes them, so that a test can look into
// the core's records while it drives the entry points.
#pragma once

#include <vector>

#include "core/instance.h"
#include "core/port_state.h"
#include "driver/driver_test_support.h"

namespace tulktest {

class InProcessTest : public DriverTest {
  protected:
    // Writes the port's key (over any values the test wrote there) and an active key naming it, then creates
    // the instance through `layer`; null when the creation fails. What is created is retired at the end of
    // the test.
    PortState* Create(const PortKey& port, const PortLayer& layer = kVirtualPortLayer);
    // Retires one instance now.
    void Destroy(PortState* state);
    void TearDown() override;

    static DWORD_PTR Handle(PortState* state) { return reinterpret_cast<DWORD_PTR>(state); }
    static DWORD_PTR Handle(OpenContext* context) { return reinterpret_cast<DWORD_PTR>(context); }
    static OpenContext* Open(PortState* state, DWORD access) {
        return reinterpret_cast<OpenContext*>(COM_Open(Handle(state), access, 0));
    }
    static int Priority(PortState* state) { return CeGetThreadPriority(state->DispatchThread.load()); }

    std::vector<PortState*> created_;
};

}  // namespace tulktest
