// Asks the program's own signature check about a file:
//   verify_signature FILE PUBLISHER
// Exits 0 when WinVerifyTrust accepts the file and its signer is PUBLISHER,
// 1 otherwise.
#include <windows.h>
#include <shellapi.h>

#include "process/signature.h"

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 3) {
        return 125;
    }
    const bool accepted = repair::IsSignedBy(argv[1], argv[2]);
    LocalFree(argv);
    return accepted ? 0 : 1;
}
