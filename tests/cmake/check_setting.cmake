# cmake -DBASE=... -P check_setting.cmake (or -DSTALL=..., -DSHA512=...): fails exactly when
# the configure step would refuse that value.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/RepairBuild.cmake)
if(DEFINED BASE)
    repair_check_download_base("${BASE}")
endif()
if(DEFINED STALL)
    repair_check_stall_seconds("${STALL}")
endif()
if(DEFINED SHA512)
    repair_check_sha512(REPAIR_RUNTIME_SHA512_X64 "${SHA512}")
endif()
