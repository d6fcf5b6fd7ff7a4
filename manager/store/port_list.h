// The manager's one list of ports. Entries are separate heap objects that never move while listed, so the
// user interface may keep pointers to them; an entry dies when it is removed or when the list goes.
//
// Every operation runs on the manager's single thread and takes no lock. Operations that start or stop a
// device wait kDeviceSettleMs afterwards (store_timing.h). Failures are answered as 0 or -1, never shown.
#pragma once

#include <windows.h>

#include "store/port_entry.h"

// List indices of the two ends of a pair made by PortList::CreatePair; both -1 when it failed.
struct PairIndices {
    int first = -1;
    int second = -1;
};

class PortList {
  public:
    // Tests that the registry can be written (creates and deletes Drivers\BuiltIn\TEST) and, when it can,
    // fills the list with Refresh.
    PortList();
    ~PortList();
    PortList(const PortList&) = delete;
    PortList& operator=(const PortList&) = delete;

    // 1 when the start-up test could create a key under Drivers\BuiltIn; without it the list stays empty.
    DWORD RegistryWritable() const { return registryWritable_; }

    // --- list operations (port_list.cpp) ---
    PortEntry* At(int index) const;  // null outside 0 .. Count() - 1
    int Count() const;
    // Appends an entry with every default; its list index, or -1 when memory runs out.
    int AddEntry();
    // Deletes the entry at index and closes the gap; any index outside the list does nothing.
    void RemoveAt(int index);
    int IndexOf(const PortEntry* entry) const;           // by identity; -1 when not listed
    PortEntry* FindByKey(LPCWSTR keyPath) const;         // exact, case-sensitive
    PortEntry* FindByArrayIndex(LONG arrayIndex) const;  // entries of any kind
    // The other end of a pair by the 2k / 2k + 1 convention, or null.
    PortEntry* FindPartner(const PortEntry* entry) const;
    // True when no COM-family entry has this device number.
    bool IsComNumberUnlisted(LONG number) const;
    // True when the combined number (0..19) is not held by any entry; disabled ports hold none.
    bool IsPortNumberFree(DWORD combinedNumber) const;
    // Lowest driver slot no virtual port holds, or -1 when all twenty are held.
    LONG FreeArrayIndex() const;

    // --- virtual ports (virtual_port_key.cpp, pair_creation.cpp) ---
    // Writes Drivers\BuiltIn\TULK<arrayIndex>, activates it and appends its entry: the entry's list index,
    // or -1 with no key and no entry left behind. pairIndex is the partner's slot or -1 for none. Refuses a
    // slot that a listed virtual port holds.
    int CreateVirtualPort(DWORD combinedNumber, LONG pairIndex, LONG arrayIndex);
    // Creates both ends of a pair under two different free combined numbers in slots 2k and 2k + 1, each
    // naming the other; a half-made pair is rolled back.
    PairIndices CreatePair(DWORD firstNumber, DWORD secondNumber);
    // The lowest even slot 2k where 2k and 2k + 1 are both free: held by no listed port and without a key
    // (a port kept in the registry but not running keeps its slot). -1 when no two such slots are left.
    LONG FreePairSlot() const;

    // --- enumeration (enumeration.cpp, open_state.cpp) ---
    // Updates entries found again (by key path) and appends new ones; never removes or reorders.
    void Refresh();
    // The running instance of a driver key, by its entry in Drivers\Active: 1 with *handle set (null while
    // the activation has not written Hnd yet), or 0 when the key runs no instance.
    static DWORD FindActiveInstance(LPCWSTR keyPath, HANDLE* handle);
    // 1 when an application has the port open for reading or writing, else 0 (also on every failure).
    DWORD IsPortOpen(const PortEntry* entry) const;

    // --- deletion and disabling (deletion.cpp, physical_toggle.cpp) ---
    // Stops a listed virtual port, removes its key and its entry: 1, or 0 when it is left as it was (or,
    // after a stop whose key could not be removed, with a null deviceHandle so a retry goes on from there).
    DWORD DeletePort(PortEntry* entry);
    // Disables a listed physical port (stops it, marks its key) or re-enables it, then refreshes: 1 or 0.
    DWORD TogglePhysicalPort(PortEntry* entry);

  private:
    PortEntry* FindOrAddByKey(LPCWSTR keyPath);
    bool IsArrayIndexHeld(LONG arrayIndex) const;
    void RefreshRunningInstances();
    void RefreshDisabledPorts();
    void ProbeUnlistedComPorts();

    DWORD registryWritable_ = 0;
    PortEntry** entries_ = nullptr;  // exactly count_ slots
    int count_ = 0;
};
