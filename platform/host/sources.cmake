# The device host: one device shared by many programs.
target_sources(ceplatform PRIVATE
    host/boot.cpp
    host/call_scheduling.cpp
    host/client.cpp
    host/connection_budget.cpp
    host/device_dir.cpp
    host/hello.cpp
    host/host_main.cpp
    host/host_start.cpp
    host/remote_devices.cpp
    host/remote_handles.cpp
    host/remote_registry.cpp
    host/remote_windows.cpp
    host/serve.cpp
    host/serve_devices.cpp
    host/serve_registry.cpp
    host/server.cpp
    host/serve_windows.cpp
    host/session.cpp
    host/window_directory.cpp
    host/wire.cpp)

# Where the installed library finds the installed host program.
file(RELATIVE_PATH ce_host_program_from_libdir ${CMAKE_INSTALL_FULL_LIBDIR} ${CMAKE_INSTALL_FULL_BINDIR})
target_compile_definitions(ceplatform PRIVATE CE_HOST_PROGRAM_FROM_LIBDIR="${ce_host_program_from_libdir}")

# The host program, beside the other programs in bin/.
add_executable(cedevice host/cedevice.cpp)
target_link_libraries(cedevice PRIVATE ceplatform)
file(RELATIVE_PATH ce_libdir_from_host_program ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set_target_properties(cedevice PROPERTIES INSTALL_RPATH "$ORIGIN/${ce_libdir_from_host_program}")
install(TARGETS cedevice RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
