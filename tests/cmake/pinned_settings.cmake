# cmake -DPIN_X64=FILE -DPIN_X86=FILE -DBASE=URL -DTEMPLATE=IN -DOUT=CPP -P pinned_settings.cmake:
# the build settings of a program whose runtime installer of each variant
# must be that FILE itself, and nothing else is checked.
file(SHA512 "${PIN_X64}" x64)
file(SHA512 "${PIN_X86}" x86)
if(x64 STREQUAL x86)
    message(FATAL_ERROR "the two pinned stand-ins are the same file: a swap of the pins would go unseen")
endif()
set(REPAIR_URL_BASE "${BASE}")
set(REPAIR_RUNTIME_ROOTS_VALUE "")
set(REPAIR_TOOL_PUBLISHER_VALUE "")
set(REPAIR_RUNTIME_SHA512_X64_VALUE "${x64}")
set(REPAIR_RUNTIME_SHA512_X86_VALUE "${x86}")
configure_file("${TEMPLATE}" "${OUT}" @ONLY)
