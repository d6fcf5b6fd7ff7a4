// The virtual ports kept in the registry: the keys Drivers\BuiltIn\TULK0 .. TULK19, whether or not their
// driver instances run. A device start leaves them stopped until they are started again, as a device start
// does: the keys of driver slots 0 to 19 are activated in order, kStoredPortSpacingMs apart.
#pragma once

#include <functional>

#include "store/port_list.h"

// How the start of one kept port went.
struct StoredPortStart {
    LONG slot = kNoArrayIndex;
    WCHAR name[kDeviceNameChars] = u"";  // "COM5:" as the key names it; empty when it names none
    HANDLE device = nullptr;             // the new instance, or null
    DWORD error = ERROR_SUCCESS;         // why it did not start
    bool alreadyRunning = false;         // its instance ran before: nothing was started
};

// Activates every slot's key; slots without a key simply fail. report, when given, hears of every slot
// that has a key.
void ActivateStoredPorts(const std::function<void(const StoredPortStart&)>& report = nullptr);

// Has the device start the kept ports at each of its starts, as a person would with the registry tool:
// the start-up command line Init\StartUp\TulkPorts = "<program> start", unless the device has that value
// already (a person's own line stays). The program is this one, by its file; a path with a blank, which the
// device would split, gives way to the bare name "tulkcfg", which the device finds beside itself. False
// when the value cannot be written.
bool KeepStartingStoredPorts();

// Appends to the list, as virtual entries with a null deviceHandle, the kept ports that do not run (whose
// keys no listed entry has), so that their names and slots count as taken and they can be deleted.
void ListStoppedStoredPorts(PortList& ports);
