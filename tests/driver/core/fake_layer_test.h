// The fixture of the tests that drive the core through the test's own layer: one instance, created fresh.
#pragma once

#include "driver/core/fake_layer.h"
#include "driver/core/in_process.h"

namespace tulktest {

constexpr DWORD kData = GENERIC_READ | GENERIC_WRITE;

class FakeLayerTest : public InProcessTest {
  protected:
    void SetUp() override {
        InProcessTest::SetUp();
        fake::Reset();
        state_ = Create(PairEnd(u"COM", 0), fake::kLayer);
        ASSERT_NE(state_, nullptr);
        fake::TakeLog();
    }
    void TearDown() override {
        // A slot still blocked on a gate of the test's own is let go before the instance is retired.
        for (HANDLE gate :
             {fake::Behave().ioctlGate.exchange(nullptr), fake::Behave().interruptGate.exchange(nullptr)}) {
            if (gate != nullptr) {
                SetEvent(gate);
            }
        }
        InProcessTest::TearDown();
    }
    PortState* state_ = nullptr;
};

}  // namespace tulktest
