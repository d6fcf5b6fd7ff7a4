// A fixed sequence of registry calls that prints every outcome (status, last error, outputs and what was
// left untouched), one line per call. Run once in-process and once through a device host, it must print the
// same lines.
#pragma once

namespace hosttest {

void RegistryScript();

}  // namespace hosttest
