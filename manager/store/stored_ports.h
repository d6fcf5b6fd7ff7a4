// Starting the virtual ports kept in the registry, as a device start does: the keys of driver slots 0 to 19
// are activated in order, kStoredPortSpacingMs apart. Slots without a key simply fail; nothing is reported.
#pragma once

void ActivateStoredPorts();
