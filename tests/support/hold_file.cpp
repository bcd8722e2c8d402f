// Holds a file open without any sharing for a while, as an antivirus scanner
// does with a freshly written program, then lets it go:
//   hold_file PATH MILLISECONDS READY_MARKER
// The marker file is written once the file is held.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "files.h"

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 4) {
        return 125;
    }
    const HANDLE held = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    WriteTextFile(argv[3], held == INVALID_HANDLE_VALUE ? "failed\n" : "held\n");
    Sleep(std::wcstoul(argv[2], nullptr, 10));
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }
    LocalFree(argv);
    return 0;
}
