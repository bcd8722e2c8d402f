# cmake -DPINNED=FILE -DBASE=URL -DTEMPLATE=IN -DOUT=CPP -P pinned_settings.cmake:
# the build settings of a program whose runtime installer, either variant,
# must be FILE itself.
file(SHA512 "${PINNED}" digest)
set(REPAIR_URL_BASE "${BASE}")
set(REPAIR_RUNTIME_PUBLISHER_VALUE "")
set(REPAIR_TOOL_PUBLISHER_VALUE "")
set(REPAIR_RUNTIME_SHA512_X64_VALUE "${digest}")
set(REPAIR_RUNTIME_SHA512_X86_VALUE "${digest}")
configure_file("${TEMPLATE}" "${OUT}" @ONLY)
