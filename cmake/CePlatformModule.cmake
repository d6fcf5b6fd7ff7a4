# ce_add_driver_module(<target> DEF <file.def> SOURCES <src>...)
#
# Builds a stream driver module the way the device manager expects it: an ELF shared object named exactly
# as its .def file's LIBRARY line says ("tulk" gives tulk.dll), exporting only the .def's entry points and
# DllMain. The module is built without GNU unique symbols so that unloading it really unloads it and its
# static state starts afresh on the next load.
function(ce_add_driver_module target)
    cmake_parse_arguments(ARG "" "DEF;OUTPUT_DIRECTORY" "SOURCES" ${ARGN})
    if(NOT ARG_DEF)
        message(FATAL_ERROR "ce_add_driver_module(${target}): DEF is required")
    endif()
    get_filename_component(def "${ARG_DEF}" ABSOLUTE)
    file(STRINGS "${def}" def_lines)
    set(library_name "")
    set(exports "")
    set(in_exports FALSE)
    foreach(line IN LISTS def_lines)
        string(STRIP "${line}" line)
        if(line STREQUAL "" OR line MATCHES "^;")
            continue()
        endif()
        if(line MATCHES "^LIBRARY[ \t]+\"?([A-Za-z0-9_.-]+)\"?")
            set(library_name "${CMAKE_MATCH_1}")
        elseif(line STREQUAL "EXPORTS")
            set(in_exports TRUE)
        elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)")
            list(APPEND exports "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    if(library_name STREQUAL "")
        set(library_name "${target}")
    endif()
    string(REGEX REPLACE "\\.dll$" "" library_name "${library_name}")
    list(APPEND exports DllMain)
    list(REMOVE_DUPLICATES exports)

    set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.map")
    list(JOIN exports ";\n    " joined)
    file(WRITE "${script}" "{\n  global:\n    ${joined};\n  local: *;\n};\n")

    add_library(${target} MODULE ${ARG_SOURCES})
    if(NOT ARG_OUTPUT_DIRECTORY)
        if(CE_DRIVER_OUTPUT_DIRECTORY)
            set(ARG_OUTPUT_DIRECTORY "${CE_DRIVER_OUTPUT_DIRECTORY}")
        else()
            set(ARG_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
        endif()
    endif()
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        OUTPUT_NAME "${library_name}"
        SUFFIX ".dll"
        LIBRARY_OUTPUT_DIRECTORY "${ARG_OUTPUT_DIRECTORY}"
        VISIBILITY_INLINES_HIDDEN ON
        LINK_DEPENDS "${script};${def}")
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
    # The version script alone decides what is exported: compiled with hidden visibility, the entry points
    # would be local before the script could name them, and the module would export nothing.
    target_link_options(${target} PRIVATE "-Wl,--version-script=${script}" "-Wl,--no-undefined")
    if(TARGET CePlatform::platform)
        target_link_libraries(${target} PRIVATE CePlatform::platform)
    else()
        target_link_libraries(${target} PRIVATE ceplatform)
    endif()
endfunction()

# ce_install_driver_module(<target> [DESTINATION <dir>])
#
# Installs a module built by ce_add_driver_module into the directory where an installed platform's device
# manager looks when CE_DRIVER_PATH does not name the module: "ce-drivers" beside libceplatform.so. A project
# that installs to another prefix than the platform's passes DESTINATION and sets CE_DRIVER_PATH at run time.
function(ce_install_driver_module target)
    cmake_parse_arguments(ARG "" "DESTINATION" "" ${ARGN})
    if(NOT TARGET ${target})
        message(FATAL_ERROR "ce_install_driver_module(${target}): no such target")
    endif()
    if(NOT ARG_DESTINATION)
        include(GNUInstallDirs)
        set(ARG_DESTINATION "${CMAKE_INSTALL_LIBDIR}/ce-drivers")
    endif()
    install(TARGETS ${target} LIBRARY DESTINATION "${ARG_DESTINATION}")
endfunction()
