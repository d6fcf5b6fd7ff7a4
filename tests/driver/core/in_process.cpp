#include "driver/core/in_process.h"

#include <algorithm>

namespace tulktest {

PortState* InProcessTest::Create(const PortKey& port, const PortLayer& layer) {
    constexpr DWORD kFirstActiveNumber = 50;
    const std::u16string activeKey = WriteActiveKey(kFirstActiveNumber + port.arrayIndex, WritePortKey(port));
    PortState* state = CreateInstance(activeKey.c_str(), layer);
    if (state != nullptr) {
        created_.push_back(state);
    }
    return state;
}

void InProcessTest::Destroy(PortState* state) {
    created_.erase(std::remove(created_.begin(), created_.end(), state), created_.end());
    EXPECT_TRUE(COM_Deinit(Handle(state)));
}

void InProcessTest::TearDown() {
    while (!created_.empty()) {
        Destroy(created_.back());
    }
    DriverTest::TearDown();
}

}  // namespace tulktest
