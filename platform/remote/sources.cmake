# The program's side of the device host: the backends it implements for the areas, the choice of backends,
# its connections and starting the host.
target_sources(ceplatform PRIVATE
    remote/backend_choice.cpp
    remote/client.cpp
    remote/host_start.cpp
    remote/remote_devices.cpp
    remote/remote_handles.cpp
    remote/remote_registry.cpp
    remote/remote_windows.cpp)

# Where the installed library finds the installed host program.
file(RELATIVE_PATH ce_host_program_from_libdir ${CMAKE_INSTALL_FULL_LIBDIR} ${CMAKE_INSTALL_FULL_BINDIR})
target_compile_definitions(ceplatform PRIVATE CE_HOST_PROGRAM_FROM_LIBDIR="${ce_host_program_from_libdir}")
