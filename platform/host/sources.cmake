# The device host: the program that serves one device to many programs.
target_sources(ceplatform PRIVATE
    host/boot.cpp
    host/connection_budget.cpp
    host/host_main.cpp
    host/serve.cpp
    host/serve_devices.cpp
    host/serve_registry.cpp
    host/server.cpp
    host/serve_windows.cpp
    host/session.cpp
    host/window_directory.cpp)

# The host program, beside the other programs in bin/.
add_executable(cedevice host/cedevice.cpp)
target_link_libraries(cedevice PRIVATE ceplatform)
file(RELATIVE_PATH ce_libdir_from_host_program ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set_target_properties(cedevice PROPERTIES INSTALL_RPATH "$ORIGIN/${ce_libdir_from_host_program}")
install(TARGETS cedevice RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
