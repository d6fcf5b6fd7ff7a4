// Fixed sequences of registry and device calls that print every outcome (status, last error, outputs and
// what was left untouched), one line per call. Run once in-process and once through a device host, they
// must print the same lines.
#pragma once

namespace hosttest {

void RegistryScript();
void DeviceScript();

}  // namespace hosttest
