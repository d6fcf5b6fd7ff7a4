target_sources(ceplatform PRIVATE
    devices/active_keys.cpp
    devices/comm_api.cpp
    devices/device_api.cpp
    devices/device_calls.cpp
    devices/device_files.cpp
    devices/device_key.cpp
    devices/device_manager.cpp
    devices/device_users.cpp
    devices/driver_module.cpp
    devices/entry_points.cpp
    devices/in_process_devices.cpp
    devices/module_search.cpp
    devices/platform_control.cpp
    devices/registry_key.cpp)
