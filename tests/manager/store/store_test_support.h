// Helpers of the store's tests: a clean device with the real driver and the stand-in physical port driver,
// the store's waits recorded instead of slept, physical port keys, and a look at keys value by value.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <ceplatform.h>
#include <windows.h>

#include "driver/driver_test_support.h"
#include "manager/store/physical_port/physical_port_protocol.h"
#include "store/port_list.h"

namespace storetest {

// Table cases print as their names (test files bring this into their own namespace for lookup).
template <class Case>
requires requires(const Case& c) {
    static_cast<const char*>(c.name);
}
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

// Every test starts on a clean device; the store's waits are recorded and return at once.
class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// A StoreTest with a port list made at its start, on the clean device.
class ListTest : public StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        list_ = std::make_unique<PortList>();
    }

    std::unique_ptr<PortList> list_;
};

// The waits the store asked for since SetUp, in milliseconds.
std::vector<DWORD> Waits();
// Runs action inside the store's next wait: after the activation or deactivation it follows, before the
// store goes on. This is where a test breaks the next registry call.
void OnNextWait(std::function<void()> action);

// A physical serial port of the stand-in driver: Drivers\BuiltIn\<keyName> with Prefix COM and Index.
struct PhysicalPort {
    std::u16string keyName = u"Serial1";
    DWORD number = 1;
    std::u16string friendlyName;       // in the key; none when empty
    std::u16string modemFriendlyName;  // in the key's Unimodem subkey; none when empty
    DWORD failOpen = 0;                // data opens fail with this error
};
std::u16string WritePhysicalKey(const PhysicalPort& port);  // answers the key path
HANDLE StartPhysicalPort(const PhysicalPort& port);
std::u16string Decimal(DWORD value);
// The opens a stand-in port has seen, asked through a query-only open of its own.
physport::Counts CountsOf(DWORD number);

// Every field equal.
bool SameEntry(const PortEntry& a, const PortEntry& b);

// Drivers\Active\NN whose Key names deviceKey, or empty.
std::u16string ActiveKeyOf(const std::u16string& deviceKey);

bool KeyExists(const std::u16string& path);
struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const Value&) const = default;
};
std::vector<Value> ValuesOf(const std::u16string& path);  // in stored order
std::u16string TextOf(const std::u16string& path, const char16_t* name);
void SetText(const std::u16string& path, const char16_t* name, const std::u16string& text);

}  // namespace storetest
