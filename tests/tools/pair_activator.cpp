// Activates a tulk pair, COM5: and COM6:, on the device CE_DEVICE names and exits: the ports live on in
// the device host for other programs.
#include <iostream>

#include "driver/driver_test_support.h"

int main() {
    for (DWORD end : {0u, 1u}) {
        if (tulktest::ActivatePort(tulktest::PairEnd(u"COM", end)) == nullptr) {
            std::cerr << "pair_activator: activation failed with error " << GetLastError() << '\n';
            return 1;
        }
    }
    return 0;
}
