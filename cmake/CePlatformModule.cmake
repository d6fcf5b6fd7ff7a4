# Run as a script by ce_add_resources' build step (cmake -DCE_RC_COMPILE=ON ... -P CePlatformModule.cmake):
# compiles one resource script and writes the dependency file that lists everything it read.
if(CMAKE_SCRIPT_MODE_FILE AND CE_RC_COMPILE)
    set(include_args "")
    foreach(dir IN LISTS CE_RC_INCLUDE_DIRS)
        list(APPEND include_args "-I${dir}")
    endforeach()
    # The host's preprocessor without its own predefined names (a bare "linux" or "unix" in a script
    # must stay a word), as the device's resource compiler sees the script.
    execute_process(
        COMMAND "${CE_RC_WINDRES}" "--preprocessor=${CE_RC_CPP}" --preprocessor-arg=-undef
                --preprocessor-arg=-DRC_INVOKED ${include_args} -c 65001 -O res -i "${CE_RC_SOURCE}"
                -o "${CE_RC_OUTPUT}"
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        file(REMOVE "${CE_RC_OUTPUT}")
        message(FATAL_ERROR "windres failed on ${CE_RC_SOURCE}")
    endif()

    # Dependencies: every file the preprocessor read (its line markers name them) and every file a
    # resource statement names (icons, bitmaps, raw data), wherever windres would find it.
    execute_process(
        COMMAND "${CE_RC_CPP}" -undef -DRC_INVOKED ${include_args} "${CE_RC_SOURCE}"
        OUTPUT_VARIABLE preprocessed
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "the preprocessor failed on ${CE_RC_SOURCE}")
    endif()
    # Characters that CMake's lists treat specially must not split or join lines.
    string(REGEX REPLACE "[][;\\]" " " preprocessed "${preprocessed}")
    string(REPLACE "\n" ";" lines "${preprocessed}")
    set(depends "${CE_RC_SOURCE}")
    foreach(line IN LISTS lines)
        set(candidate "")
        if(line MATCHES "^# [0-9]+ \"([^\"<]+)\"")
            set(candidate "${CMAKE_MATCH_1}")
        elseif(line MATCHES "\"([^\"]+)\"[ \t]*$")
            set(candidate "${CMAKE_MATCH_1}")
        elseif(line MATCHES "^[ \t]*[A-Za-z0-9_]+[ \t]+(ICON|BITMAP|CURSOR|FONT|RCDATA|HTML|MESSAGETABLE)[ \t]+([^ \t\"{]+)[ \t]*$")
            set(candidate "${CMAKE_MATCH_2}")
        endif()
        if(candidate STREQUAL "")
            continue()
        endif()
        if(IS_ABSOLUTE "${candidate}")
            set(paths "${candidate}")
        else()
            list(TRANSFORM CE_RC_INCLUDE_DIRS APPEND "/${candidate}" OUTPUT_VARIABLE paths)
        endif()
        foreach(path IN LISTS paths)
            if(EXISTS "${path}" AND NOT IS_DIRECTORY "${path}")
                file(REAL_PATH "${path}" path)
                list(APPEND depends "${path}")
                break()
            endif()
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES depends)
    set(rule "${CE_RC_OUTPUT}:")
    foreach(path IN LISTS depends)
        string(REPLACE " " "\\ " path "${path}")
        string(APPEND rule " \\\n  ${path}")
    endforeach()
    file(WRITE "${CE_RC_DEPFILE}" "${rule}\n")
    return()
endif()

# Links a target with the platform: the imported target of an installed SDK, or the one of this build.
function(_ce_link_platform target)
    if(TARGET CePlatform::platform)
        target_link_libraries(${target} PRIVATE CePlatform::platform)
    else()
        target_link_libraries(${target} PRIVATE ceplatform)
    endif()
endfunction()

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
    _ce_link_platform(${target})
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

# ce_add_resources(<target> <file.rc> [INCLUDE_DIRS <dir>...])
#
# Compiles a resource script with the standard resource compiler (windres of Debian's
# binutils-mingw-w64-x86-64, reading the script through the host's C preprocessor with RC_INVOKED defined,
# the platform's headers, the script's own directory and INCLUDE_DIRS on the include path, and UTF-8 as
# the script's code page) into a standard .res, and embeds it in the target: a program or a shared
# library. When the module is loaded its resources are registered with the platform, so FindResourceW,
# LoadIconW and the dialog calls find them through the module's handle. The .res is rebuilt when the
# script or anything it reads (headers, icons, data files) changes.
function(ce_add_resources target rc_file)
    cmake_parse_arguments(ARG "" "" "INCLUDE_DIRS" ${ARGN})
    if(NOT TARGET ${target})
        message(FATAL_ERROR "ce_add_resources(${target}): no such target")
    endif()
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
        # An archive would drop the unreferenced registration, and the resources with it.
        message(FATAL_ERROR "ce_add_resources(${target}): resources go into a program or a shared library, "
                            "not a ${type}")
    endif()
    find_program(CE_WINDRES x86_64-w64-mingw32-windres)
    if(NOT CE_WINDRES)
        message(FATAL_ERROR "ce_add_resources: x86_64-w64-mingw32-windres not found; install the Debian "
                            "package binutils-mingw-w64-x86-64")
    endif()
    find_program(CE_RC_CPP cpp)
    if(NOT CE_RC_CPP)
        message(FATAL_ERROR "ce_add_resources: the C preprocessor 'cpp' not found; install the Debian package cpp")
    endif()
    if(CePlatform_INCLUDE_DIR)
        set(platform_include "${CePlatform_INCLUDE_DIR}")
    else()
        get_filename_component(platform_include "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../platform/include"
                               ABSOLUTE)
    endif()

    get_filename_component(rc "${rc_file}" ABSOLUTE)
    get_filename_component(rc_dir "${rc}" DIRECTORY)
    get_filename_component(rc_name "${rc}" NAME_WE)
    set(include_dirs "${rc_dir}" "${platform_include}")
    foreach(dir IN LISTS ARG_INCLUDE_DIRS)
        get_filename_component(dir "${dir}" ABSOLUTE)
        list(APPEND include_dirs "${dir}")
    endforeach()

    set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources")
    set(res "${out_dir}/${rc_name}.res")
    add_custom_command(
        OUTPUT "${res}"
        COMMAND "${CMAKE_COMMAND}" -DCE_RC_COMPILE=ON "-DCE_RC_WINDRES=${CE_WINDRES}" "-DCE_RC_CPP=${CE_RC_CPP}"
                "-DCE_RC_SOURCE=${rc}" "-DCE_RC_OUTPUT=${res}" "-DCE_RC_DEPFILE=${res}.d"
                "-DCE_RC_INCLUDE_DIRS=${include_dirs}" -P "${CMAKE_CURRENT_FUNCTION_LIST_FILE}"
        DEPENDS "${rc}" "${CMAKE_CURRENT_FUNCTION_LIST_FILE}"
        DEPFILE "${res}.d"
        COMMENT "Compiling resources ${rc_file} for ${target}"
        VERBATIM)

    # The .res goes into the module's read-only data as it is; a constructor hands it to the platform
    # before the module's own code runs, and a destructor withdraws it when the module goes away.
    string(MAKE_C_IDENTIFIER "ce_resources_${target}_${rc_name}" symbol)
    string(REPLACE "\\" "\\\\" incbin_path "${res}")
    string(REPLACE "\"" "\\\"" incbin_path "${incbin_path}")
    string(REPLACE "\\" "\\\\" incbin_path "${incbin_path}")
    string(REPLACE "\"" "\\\"" incbin_path "${incbin_path}")
    set(source "${out_dir}/${rc_name}_resources.cpp")
    file(CONFIGURE OUTPUT "${source}" @ONLY CONTENT [=[
// Generated by ce_add_resources from @rc@: the compiled resources of @target@ and their registration.
#include <cstdint>

extern "C" int CeRegisterModuleResources(const void* addressInModule, const void* resData, uint32_t resSize);
extern "C" int CeUnregisterModuleResources(const void* resData);

asm(".section .rodata.@symbol@,\"a\",@progbits\n"
    ".balign 16\n"
    ".globl @symbol@_begin\n"
    ".hidden @symbol@_begin\n"
    "@symbol@_begin:\n"
    ".incbin \"@incbin_path@\"\n"
    ".globl @symbol@_end\n"
    ".hidden @symbol@_end\n"
    "@symbol@_end:\n"
    ".previous\n");

extern "C" const unsigned char @symbol@_begin[];
extern "C" const unsigned char @symbol@_end[];

namespace {

__attribute__((constructor(101))) void RegisterResources() {
    CeRegisterModuleResources(@symbol@_begin, @symbol@_begin,
                              static_cast<uint32_t>(@symbol@_end - @symbol@_begin));
}

__attribute__((destructor(101))) void WithdrawResources() {
    CeUnregisterModuleResources(@symbol@_begin);
}

}  // namespace
]=])
    set_source_files_properties("${source}" PROPERTIES OBJECT_DEPENDS "${res}")
    target_sources(${target} PRIVATE "${source}" "${res}")
    _ce_link_platform(${target})
endfunction()
