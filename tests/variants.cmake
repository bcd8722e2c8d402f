# What the end-to-end runs start besides the program itself, built from the
# same rules by the x86_64 test build and by the 32-bit build of the shipped
# artefact's settings: the variant that checks signatures, and both halves of
# the DLL planting test (a 32-bit program loads only 32-bit DLLs).

function(repair_support_program target)
    add_executable(${target} ${ARGN})
    repair_program_defaults(${target} WIDE_ENTRY)
    target_link_options(${target} PRIVATE -mconsole)
    target_link_libraries(${target} PRIVATE shell32 user32 gdi32 comctl32)
endfunction()

repair_support_program(plain_loader support/plain_loader.cpp)
add_library(planted_dll SHARED support/planted_dll.cpp)
repair_target_defaults(planted_dll)
set_target_properties(planted_dll PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
target_link_options(planted_dll PRIVATE -static)

# The program requiring both downloads to be signed by the throwaway
# publisher that the signature tests make.
set(REPAIR_TEST_PUBLISHER "Vandrel Repair Test Publisher")
repair_add_bootstrapper(bootstrapper_signed "${REPAIR_DOWNLOAD_BASE}" "${REPAIR_TEST_PUBLISHER}"
                        "${REPAIR_TEST_PUBLISHER}" "修复工具-signed")
