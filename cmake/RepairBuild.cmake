# Shared build rules: warnings, encoding, size flags and the download base check.

function(repair_check_download_base base)
    if(NOT base MATCHES "^(https?)://([A-Za-z0-9.-]+|\\[[0-9A-Fa-f:]+\\])(:[0-9]+)?$")
        message(FATAL_ERROR
            "REPAIR_DOWNLOAD_BASE must be a scheme and host with an optional port, "
            "without a path, query or trailing slash: '${base}'")
    endif()
    set(scheme "${CMAKE_MATCH_1}")
    set(host "${CMAKE_MATCH_2}")
    if(scheme STREQUAL "http" AND NOT host MATCHES "^(localhost|127\\.[0-9]+\\.[0-9]+\\.[0-9]+|\\[::1\\])$")
        message(FATAL_ERROR
            "REPAIR_DOWNLOAD_BASE '${base}' uses plain HTTP for a host that is not loopback; "
            "the downloads are run elevated, so they must come over HTTPS")
    endif()
endfunction()

function(repair_check_stall_seconds seconds)
    if(NOT seconds MATCHES "^[1-9][0-9]*$" OR seconds GREATER 3600)
        message(FATAL_ERROR "REPAIR_STALL_SECONDS must be a whole number of seconds from 1 to 3600: '${seconds}'")
    endif()
endfunction()

# A pinned digest: empty, or a SHA-512 in hex, either case.
function(repair_check_sha512 variable digest)
    if(NOT digest STREQUAL "" AND NOT digest MATCHES "^[0-9A-Fa-f]+$")
        message(FATAL_ERROR "${variable} must be empty or a SHA-512 of 128 hex digits: '${digest}'")
    endif()
    string(LENGTH "${digest}" length)
    if(NOT length EQUAL 0 AND NOT length EQUAL 128)
        message(FATAL_ERROR "${variable} must be empty or a SHA-512 of 128 hex digits, not ${length}: '${digest}'")
    endif()
endfunction()

# Both runtime pins or neither: with one alone, the other variant's installer
# would run as administrator unchecked on the machines that take it.
function(repair_check_runtime_pins x64 x86)
    if(x64 STREQUAL "" AND NOT x86 STREQUAL "")
        set(missing REPAIR_RUNTIME_SHA512_X64)
    elseif(x86 STREQUAL "" AND NOT x64 STREQUAL "")
        set(missing REPAIR_RUNTIME_SHA512_X86)
    else()
        return()
    endif()
    message(FATAL_ERROR "${missing} is missing: a build pins both runtime installers or neither")
endfunction()

# A publisher name goes into a C++ string literal as it stands.
function(repair_check_publisher name)
    if(name MATCHES "[\"\\\\]" OR name MATCHES "[\r\n]")
        message(FATAL_ERROR "A publisher name may not contain quotes, backslashes or line breaks: '${name}'")
    endif()
endfunction()

# One value of the runtime build's table (src/util/runtime_build.h), as it
# stands between its quotes.
function(repair_runtime_build name out_var)
    file(STRINGS "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../src/util/runtime_build.h" line
         REGEX "^#define ${name} L?\"[^\"]*\"$")
    if(NOT line MATCHES "^#define ${name} L?\"([^\"]*)\"$")
        message(FATAL_ERROR "src/util/runtime_build.h holds no single ${name}")
    endif()
    set(${out_var} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

# The table names one build: both file names carry its version.
function(repair_check_runtime_build)
    repair_runtime_build(REPAIR_RUNTIME_VERSION version)
    foreach(file IN ITEMS X64 X86)
        repair_runtime_build(REPAIR_INSTALLER_FILE_${file} name)
        string(TOLOWER "${file}" arch)
        if(NOT name STREQUAL "windowsdesktop-runtime-${version}-win-${arch}.exe")
            message(FATAL_ERROR "src/util/runtime_build.h: ${name} is not the ${arch} installer of ${version}")
        endif()
    endforeach()
endfunction()

# Roots an unpinned runtime installer must lead to: empty, or SHA-1
# thumbprints (40 hex digits) separated by commas.
function(repair_check_roots variable roots)
    if(roots STREQUAL "")
        return()
    endif()
    string(REPLACE "," ";" each "${roots}")
    foreach(root IN LISTS each)
        string(LENGTH "${root}" length)
        if(NOT root MATCHES "^[0-9A-Fa-f]+$" OR NOT length EQUAL 40)
            message(FATAL_ERROR "${variable} must be empty or SHA-1 thumbprints of 40 hex digits separated by "
                                "commas: '${roots}'")
        endif()
    endforeach()
endfunction()

# Compiler settings every target of the project shares.
function(repair_target_defaults target)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN
                                                 _WIN32_WINNT=0x0601 WINVER=0x0601)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    if(MSVC)
        target_compile_options(${target} PRIVATE /utf-8 /W4 /permissive-)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -finput-charset=UTF-8
                                                 -fexec-charset=UTF-8 -fwide-exec-charset=UTF-16LE)
    endif()
endfunction()

# Size and self-containment flags for programs: no DLL beyond Windows' own.
# WIDE_ENTRY: the program starts at wWinMain or wmain.
function(repair_program_defaults target)
    cmake_parse_arguments(arg "WIDE_ENTRY" "" "" ${ARGN})
    repair_target_defaults(${target})
    if(MINGW)
        target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
        if(arg_WIDE_ENTRY)
            target_link_options(${target} PRIVATE -municode)
        endif()
        if(CMAKE_BUILD_TYPE STREQUAL "Release" OR CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
            target_compile_options(${target} PRIVATE -Os -ffunction-sections -fdata-sections)
            # No link time in the header: the same sources give the same bytes.
            target_link_options(${target} PRIVATE -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
        endif()
    elseif(MSVC)
        set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
        target_link_options(${target} PRIVATE /MANIFEST:NO)
    endif()
endfunction()
