# cmake -DBASE=... -P check_base.cmake: fails exactly when the configure step
# would refuse BASE as the download server base.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/RepairBuild.cmake)
repair_check_download_base("${BASE}")
