# Delay-import libraries for the DLLs that are not among Windows' KnownDLLs.
# They are then loaded on first use, after wWinMain has restricted the DLL
# search to System32, so a DLL of the same name planted beside the program
# (a downloads folder, the game folder) is never picked up.

# name -> "function:argument bytes" for every function the program uses.
set(REPAIR_DELAYLOAD_urlmon "URLDownloadToFileW:20")
set(REPAIR_DELAYLOAD_wininet "DeleteUrlCacheEntryW:4")
set(REPAIR_DELAYLOAD_comctl32 "InitCommonControlsEx:4")
set(REPAIR_DELAYLOAD_wintrust "WinVerifyTrust:12" "WTHelperProvDataFromStateData:4"
                              "WTHelperGetProvSignerFromChain:16" "WTHelperGetProvCertFromChain:8")
set(REPAIR_DELAYLOAD_crypt32 "CertGetNameStringW:24")
set(REPAIR_DELAYLOAD_DLLS urlmon wininet comctl32 wintrust crypt32)

# Links target against the delay-import libraries (MinGW) or marks the DLLs
# for /DELAYLOAD (Visual Studio).
function(repair_link_delay_loaded target)
    if(MSVC)
        foreach(dll IN LISTS REPAIR_DELAYLOAD_DLLS)
            target_link_libraries(${target} PUBLIC ${dll})
            target_link_options(${target} INTERFACE "/DELAYLOAD:${dll}.dll")
        endforeach()
        target_link_libraries(${target} PUBLIC delayimp)
        return()
    endif()
    foreach(dll IN LISTS REPAIR_DELAYLOAD_DLLS)
        set(def "${PROJECT_BINARY_DIR}/delayload/${dll}.def")
        set(lib "${PROJECT_BINARY_DIR}/delayload/lib${dll}_delay.a")
        set(content "LIBRARY ${dll}.dll\nEXPORTS\n")
        foreach(entry IN LISTS REPAIR_DELAYLOAD_${dll})
            string(REPLACE ":" ";" parts "${entry}")
            list(GET parts 0 name)
            list(GET parts 1 bytes)
            if(CMAKE_SIZEOF_VOID_P EQUAL 4)
                # 32-bit stdcall symbols carry their argument size.
                string(APPEND content "${name}@${bytes}\n")
            else()
                string(APPEND content "${name}\n")
            endif()
        endforeach()
        file(WRITE "${def}" "${content}")
        set(kill_at "")
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            set(kill_at --kill-at)
        endif()
        add_custom_command(OUTPUT "${lib}"
            COMMAND ${CMAKE_DLLTOOL} --input-def "${def}" --dllname ${dll}.dll ${kill_at} --output-delaylib "${lib}"
            DEPENDS "${def}" VERBATIM)
        add_custom_target(${dll}_delay DEPENDS "${lib}")
        add_dependencies(${target} ${dll}_delay)
        target_link_libraries(${target} PUBLIC "${lib}")
    endforeach()
endfunction()
