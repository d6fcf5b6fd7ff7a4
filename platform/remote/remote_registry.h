// The registry backend of a program whose registry lives in the device host. Each call runs the same call
// in the host, with null pointers where the caller passed null pointers, and writes back what the host's
// call wrote. Caller memory the program cannot reach fails the call with ERROR_NOACCESS instead of a fault.
#pragma once

#include "registry/registry_backend.h"

namespace ce::remote {

extern const registry::RegistryBackend kRemoteRegistry;

}  // namespace ce::remote
