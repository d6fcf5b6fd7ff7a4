// Helpers of the driver's tests: the registry keys of virtual ports as the manager writes them, activation
// through the device manager, ports opened by name, and active keys for instances created in-process.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include <ceplatform.h>
#include <windows.h>

namespace tulktest {

inline constexpr DWORD kUnsetError = 0xDEADBEEFu;
inline constexpr LONG kNoPartner = -1;

// Every test starts on a clean device, with the driver module found where the build puts it.
class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// One virtual port: its slot in the driver's table, its device name, its partner's slot (or kNoPartner).
struct PortKey {
    DWORD arrayIndex = 0;
    std::u16string prefix = u"COM";
    DWORD number = 5;
    LONG partner = kNoPartner;
};

std::u16string PortKeyPath(DWORD arrayIndex);    // Drivers\BuiltIn\TULK<i>
std::u16string DeviceName(const PortKey& port);  // "COM5:"
// Writes Drivers\BuiltIn\TULK<i> with every value, in the manager's order; answers the key path.
std::u16string WritePortKey(const PortKey& port);
// Writes the key and activates it; null (with the error) when the activation fails.
HANDLE ActivatePort(const PortKey& port);
// The two ends of a pair in slots 0 and 1, named <prefix>5: and <prefix>6:.
PortKey PairEnd(const std::u16string& prefix, DWORD end);

// An active key naming a device key, as the device manager writes it, for instances created in-process.
std::u16string WriteActiveKey(DWORD number, const std::u16string& deviceKey);

void SetDword(const std::u16string& key, const char16_t* name, DWORD value);
void DeleteValue(const std::u16string& key, const char16_t* name);

HANDLE OpenByName(const std::u16string& name, DWORD access);
// The open-state query the manager sends with a handle of access 0: 1 when an application has the port.
DWORD QueryOpenState(HANDLE file);

// What the process holds now, to prove that a failure leaves nothing behind.
int ThreadCount();
// The threads of the process before the driver starts any: a sanitizer's helper thread that comes with the
// first thread is already counted.
int BaselineThreadCount();
bool DriverModuleMapped();
// Polls until the condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Table rows print as their names in test output.
template <class Row>
requires requires(const Row& row) {
    std::string_view(row.name);
}
void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

// Names parameterised tests after their table rows.
struct RowName {
    template <class Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
        return info.param.name;
    }
};

}  // namespace tulktest
