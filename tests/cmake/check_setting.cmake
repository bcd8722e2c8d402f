# cmake -DBASE=... -P check_setting.cmake (or -DSTALL=...): fails exactly when
# the configure step would refuse that value.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/RepairBuild.cmake)
if(DEFINED BASE)
    repair_check_download_base("${BASE}")
endif()
if(DEFINED STALL)
    repair_check_stall_seconds("${STALL}")
endif()
