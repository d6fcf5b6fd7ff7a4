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
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        LINK_DEPENDS "${script};${def}")
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
    target_link_options(${target} PRIVATE "-Wl,--version-script=${script}" "-Wl,--no-undefined")
    if(TARGET CePlatform::platform)
        target_link_libraries(${target} PRIVATE CePlatform::platform)
    else()
        target_link_libraries(${target} PRIVATE ceplatform)
    endif()
endfunction()
