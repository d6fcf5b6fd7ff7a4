// A pair of virtual ports: the first end in an even slot 2k naming 2k + 1, then the second end naming 2k.
#include "store/port_list.h"
#include "store/registry_access.h"
#include "store/virtual_port_key.h"

namespace {

bool HasPortKey(LONG slot) {
    WCHAR keyPath[kKeyPathChars];
    FormatVirtualPortKey(keyPath, slot);
    store::RegKey key;
    return key.Open(keyPath);
}

}  // namespace

// Never writes over a port's key, and keeps the 2k / 2k + 1 convention that FindPartner relies on, also
// when a neighbour was left over by a failed deletion.
LONG PortList::FreePairSlot() const {
    for (LONG even = 0; even + 1 < kVirtualPortSlots; even += 2) {
        if (!IsArrayIndexHeld(even) && !IsArrayIndexHeld(even + 1) && !HasPortKey(even) &&
            !HasPortKey(even + 1)) {
            return even;
        }
    }
    return -1;
}

PairIndices PortList::CreatePair(DWORD firstNumber, DWORD secondNumber) {
    PairIndices pair;
    if (firstNumber == secondNumber || !IsPortNumberFree(firstNumber) || !IsPortNumberFree(secondNumber)) {
        return pair;
    }
    const LONG slot = FreePairSlot();
    if (slot < 0) {
        return pair;
    }
    const int first = CreateVirtualPort(firstNumber, slot + 1, slot);
    if (first < 0) {
        return pair;
    }
    const int second = CreateVirtualPort(secondNumber, slot, slot + 1);
    if (second < 0) {
        // If the first end cannot be deleted either, it stays listed and running; nothing more can be done.
        DeletePort(At(first));
        return pair;
    }
    pair.first = first;
    pair.second = second;
    return pair;
}
