// The one place that knows both sides: which backends serve this process, chosen once, at its first call
// that needs one. A program with a device host gets the remote backends; the host itself, and a program
// whose device stays inside it, get the in-process ones.
#include "devices/device_backend.h"
#include "registry/registry_backend.h"
#include "remote/remote_devices.h"
#include "remote/remote_registry.h"
#include "remote/remote_windows.h"
#include "user/sharing/directory_backend.h"
#include "wire/device_dir.h"

namespace ce {
namespace {

struct Backends {
    const registry::RegistryBackend* registry;
    const DeviceBackend* devices;
    const ui::DirectoryBackend* directory;
};

const Backends& Chosen() {
    static const Backends chosen =
        wire::Remote()
            ? Backends{&remote::kRemoteRegistry, &remote::kRemoteDevices, &remote::kRemoteDirectory}
            : Backends{&registry::kInProcessRegistry, &kInProcessDevices, &ui::kInProcessDirectory};
    return chosen;
}

}  // namespace

const registry::RegistryBackend& registry::Backend() {
    return *Chosen().registry;
}

const DeviceBackend& Devices() {
    return *Chosen().devices;
}

const ui::DirectoryBackend& ui::Directory() {
    return *Chosen().directory;
}

}  // namespace ce
