// Activates a tulk pair, COM5: and COM6:, on the device CE_DEVICE names and exits: the ports live on in
// the device host for other programs.
#include <iostream>

#include "tools/pair_keys.h"

int main() {
    if (ActivatePairEnd(0) == nullptr || ActivatePairEnd(1) == nullptr) {
        std::cerr << "pair_activator: activation failed with error " << GetLastError() << '\n';
        return 1;
    }
    return 0;
}
