#include "devices/device.h"
#include "devices/device_key.h"

namespace ce {
namespace {

template <class Function>
bool Resolve(const DriverModule& module, const std::u16string& prefix, const char* verb, Function* slot) {
    *slot = reinterpret_cast<Function>(module.Symbol(EntryPointName(prefix, verb)));
    return *slot != nullptr;
}

}  // namespace

bool ResolveEntryPoints(const DriverModule& module, const std::u16string& prefix, StreamEntryPoints* entry) {
    const bool all =
        Resolve(module, prefix, "Init", &entry->init) && Resolve(module, prefix, "Deinit", &entry->deinit) &&
        Resolve(module, prefix, "Open", &entry->open) && Resolve(module, prefix, "Close", &entry->close) &&
        Resolve(module, prefix, "Read", &entry->read) && Resolve(module, prefix, "Write", &entry->write) &&
        Resolve(module, prefix, "Seek", &entry->seek) &&
        Resolve(module, prefix, "IOControl", &entry->ioControl) &&
        Resolve(module, prefix, "PowerUp", &entry->powerUp) &&
        Resolve(module, prefix, "PowerDown", &entry->powerDown);
    if (!all) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return all;
}

}  // namespace ce
