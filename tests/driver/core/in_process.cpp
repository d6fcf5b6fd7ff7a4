#include "driver/core/in_process.h"

#include <algorithm>

namespace tulktest {

std::u16string InProcessTest::WriteKeys(const PortKey& port) {
    constexpr DWORD kFirstActiveNumber = 50;
    return WriteActiveKey(kFirstActiveNumber + port.arrayIndex, WritePortKey(port));
}

PortState* InProcessTest::Create(const PortKey& port, const PortLayer& layer) {
    return CreateFromActive(WriteKeys(port), layer);
}

PortState* InProcessTest::CreateFromActive(const std::u16string& activeKey, const PortLayer& layer) {
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
