// The in-process registry backend's operations: this process's own store and hive.
#pragma once

#include "registry/registry_backend.h"

namespace ce::registry {

RegistryCreateKeyFn InProcessCreateKey;
RegistryOpenKeyFn InProcessOpenKey;
RegistryCloseKeyFn InProcessCloseKey;
RegistryDeleteKeyFn InProcessDeleteKey;
RegistryEnumKeyFn InProcessEnumKey;
RegistryQueryInfoKeyFn InProcessQueryInfoKey;
RegistryFlushKeyFn InProcessFlushKey;
RegistrySetValueFn InProcessSetValue;
RegistryQueryValueFn InProcessQueryValue;
RegistryEnumValueFn InProcessEnumValue;
RegistryDeleteValueFn InProcessDeleteValue;
RegistryUseHiveFn InProcessUseHive;

}  // namespace ce::registry
