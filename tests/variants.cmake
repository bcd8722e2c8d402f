# What the end-to-end runs start besides the program itself, built from the
# same rules by the x86_64 test build and by the 32-bit build of the shipped
# artefact's settings: the variants that check signatures and fetch over
# HTTPS, both halves of the DLL planting test (a 32-bit program loads only
# 32-bit DLLs), and the helpers. On 32-bit Windows every one of them must be
# a 32-bit program.

function(repair_support_program target)
    add_executable(${target} ${ARGN})
    repair_program_defaults(${target} WIDE_ENTRY)
    target_link_options(${target} PRIVATE -mconsole)
    target_link_libraries(${target} PRIVATE shell32 user32 gdi32 comctl32)
endfunction()

repair_support_program(plain_loader support/plain_loader.cpp)
repair_support_program(manifest_probe support/manifest_probe.cpp support/manifest_probe.rc)
target_link_libraries(manifest_probe PRIVATE repair_core)
set_source_files_properties(support/manifest_probe.rc PROPERTIES OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/src/res/app.manifest")
add_library(planted_dll SHARED support/planted_dll.cpp)
repair_target_defaults(planted_dll)
set_target_properties(planted_dll PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
target_link_options(planted_dll PRIVATE -static)

include(${CMAKE_CURRENT_LIST_DIR}/cmake/runtime_signing.cmake)

# The program requiring the tool to be signed by the throwaway publisher that
# the signature tests make, and an unpinned installer to be signed through the
# throwaway runtime root, whatever its signer's name.
set(REPAIR_TEST_PUBLISHER "Vandrel Repair Test Publisher")
repair_add_bootstrapper(bootstrapper_signed "${REPAIR_DOWNLOAD_BASE}" "${REPAIR_TEST_RUNTIME_ROOT}"
                        "${REPAIR_TEST_PUBLISHER}" "修复工具-signed")

# The same program fetching over HTTPS from a loopback TLS server.
set(REPAIR_TEST_HTTPS_BASE "https://localhost:47805")
repair_add_bootstrapper(bootstrapper_https "${REPAIR_TEST_HTTPS_BASE}" "${REPAIR_RUNTIME_ROOTS}"
                        "${REPAIR_TOOL_PUBLISHER}" "修复工具-https")

# The program with each runtime installer pinned, as a release pins
# Microsoft's: to the stand-in signed by a certificate named as .NET's own
# signer is, one signing for x64 and another for x86, so that a swap of the
# two pins refuses both. Known only once the stand-in is built; no root is
# checked, so that the pin alone decides.
find_program(REPAIR_OSSLSIGNCODE osslsigncode REQUIRED)
set(signed_standins)
foreach(arch IN ITEMS x64 x86)
    set(out "${PROJECT_BINARY_DIR}/bin/standin-dotnet-${arch}.exe")
    add_custom_command(OUTPUT "${out}"
                       COMMAND "${CMAKE_COMMAND}" -E rm -f "${out}"
                       COMMAND "${REPAIR_OSSLSIGNCODE}" sign -certs "${REPAIR_TEST_RUNTIME_SIGNING}/dotnet.pem"
                               -key "${REPAIR_TEST_RUNTIME_SIGNING}/dotnet.key" -h sha256
                               -n "Microsoft .NET Windows Desktop Runtime (${arch})" -in "$<TARGET_FILE:standin>"
                               -out "${out}"
                       DEPENDS standin VERBATIM)
    list(APPEND signed_standins "${out}")
endforeach()
set(pinned_settings "${PROJECT_BINARY_DIR}/generated/build_settings_pinned.cpp")
add_custom_command(OUTPUT "${pinned_settings}"
                   COMMAND ${CMAKE_COMMAND} "-DPIN_X64=${PROJECT_BINARY_DIR}/bin/standin-dotnet-x64.exe"
                           "-DPIN_X86=${PROJECT_BINARY_DIR}/bin/standin-dotnet-x86.exe" "-DBASE=${REPAIR_DOWNLOAD_BASE}"
                           "-DTEMPLATE=${PROJECT_SOURCE_DIR}/src/util/build_settings.cpp.in" "-DOUT=${pinned_settings}"
                           -P "${CMAKE_CURRENT_SOURCE_DIR}/cmake/pinned_settings.cmake"
                   DEPENDS ${signed_standins} "${CMAKE_CURRENT_SOURCE_DIR}/cmake/pinned_settings.cmake"
                           "${PROJECT_SOURCE_DIR}/src/util/build_settings.cpp.in"
                   VERBATIM)
repair_add_bootstrapper_with(bootstrapper_pinned "${pinned_settings}" "修复工具-pinned")

# The stand-in installer and tool, the driver that answers every message box,
# and the helpers that trust a CA, hold a file and verify a signature.
repair_support_program(standin support/standin.cpp)
repair_support_program(driver support/driver.cpp)
repair_support_program(trust_ca support/trust_ca.cpp)
repair_support_program(hold_file support/hold_file.cpp)
repair_support_program(plant_cache support/plant_cache.cpp)
target_link_libraries(plant_cache PRIVATE wininet)
repair_support_program(verify_signature support/verify_signature.cpp)
target_link_libraries(verify_signature PRIVATE repair_core)
target_link_libraries(trust_ca PRIVATE crypt32)
add_dependencies(bootstrapper bootstrapper_pinned standin driver plain_loader manifest_probe planted_dll trust_ca hold_file plant_cache verify_signature)
