# A throwaway root standing in for Microsoft's in the runtime checks, made
# once per build folder: two code-signing certificates under it, named as
# Microsoft names .NET's own signer and its older one. Sets
# REPAIR_TEST_RUNTIME_SIGNING (the folder) and REPAIR_TEST_RUNTIME_ROOT (the
# root's SHA-1 thumbprint).
set(REPAIR_TEST_RUNTIME_SIGNING "${PROJECT_BINARY_DIR}/runtime-signing")
set(dir "${REPAIR_TEST_RUNTIME_SIGNING}")
if(NOT EXISTS "${dir}/microsoft.pem")
    find_program(REPAIR_OPENSSL openssl REQUIRED)
    file(MAKE_DIRECTORY "${dir}")
    function(repair_openssl)
        execute_process(COMMAND "${REPAIR_OPENSSL}" ${ARGN} WORKING_DIRECTORY "${dir}" RESULT_VARIABLE failed
                        OUTPUT_QUIET ERROR_QUIET)
        if(failed)
            message(FATAL_ERROR "openssl ${ARGN} failed in ${dir}")
        endif()
    endfunction()
    file(WRITE "${dir}/leaf.ext" "keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    repair_openssl(req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 3650
                   -subj "/CN=Repair test runtime root")
    repair_openssl(x509 -in root.pem -outform DER -out root.der)
    foreach(leaf IN ITEMS "dotnet:/O=Microsoft Corporation/CN=.NET"
                          "microsoft:/O=Microsoft Corporation/CN=Microsoft Corporation")
        string(REPLACE ":" ";" leaf "${leaf}")
        list(GET leaf 0 name)
        list(GET leaf 1 subject)
        repair_openssl(req -newkey rsa:2048 -nodes -keyout ${name}.key -out ${name}.csr -subj "${subject}")
        repair_openssl(x509 -req -in ${name}.csr -CA root.pem -CAkey root.key -CAcreateserial -days 3650
                       -extfile leaf.ext -out ${name}-leaf.pem)
        file(READ "${dir}/${name}-leaf.pem" leaf_pem)
        file(READ "${dir}/root.pem" root_pem)
        # The leaf is written last: its presence says the folder is whole.
        file(WRITE "${dir}/${name}.pem" "${leaf_pem}${root_pem}")
    endforeach()
endif()
file(SHA1 "${dir}/root.der" REPAIR_TEST_RUNTIME_ROOT)
string(TOUPPER "${REPAIR_TEST_RUNTIME_ROOT}" REPAIR_TEST_RUNTIME_ROOT)
