# A throwaway root standing in for Microsoft's in the runtime checks, made
# once per build folder, and a code-signing certificate under it named as
# Microsoft names .NET's own signer. Sets
# REPAIR_TEST_RUNTIME_SIGNING (the folder) and REPAIR_TEST_RUNTIME_ROOT (the
# root's SHA-1 thumbprint).
set(REPAIR_TEST_RUNTIME_SIGNING "${PROJECT_BINARY_DIR}/runtime-signing")
set(dir "${REPAIR_TEST_RUNTIME_SIGNING}")
if(NOT EXISTS "${dir}/dotnet.pem")
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
    repair_openssl(req -newkey rsa:2048 -nodes -keyout dotnet.key -out dotnet.csr
                   -subj "/O=Microsoft Corporation/CN=.NET")
    repair_openssl(x509 -req -in dotnet.csr -CA root.pem -CAkey root.key -CAcreateserial -days 3650
                   -extfile leaf.ext -out dotnet-leaf.pem)
    file(READ "${dir}/dotnet-leaf.pem" leaf_pem)
    file(READ "${dir}/root.pem" root_pem)
    # Written last: its presence says the folder is whole.
    file(WRITE "${dir}/dotnet.pem" "${leaf_pem}${root_pem}")
endif()
file(SHA1 "${dir}/root.der" REPAIR_TEST_RUNTIME_ROOT)
string(TOUPPER "${REPAIR_TEST_RUNTIME_ROOT}" REPAIR_TEST_RUNTIME_ROOT)
