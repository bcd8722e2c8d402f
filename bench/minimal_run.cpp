// The least a program can do for what the bootstrapper is run for: fetch the
// tool, start it on the client folder and wait for it. Started as a process
// by download_bench, like the bootstrapper, it is the floor of the
// whole-run figure: what the bootstrapper adds is measured against it.
//   minimal_run TOOL_URL TARGET
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 2;
    }
    DeleteUrlCacheEntryW(argv[1]);
    if (FAILED(URLDownloadToFileW(nullptr, argv[1], argv[2], 0, nullptr))) {
        return 1;
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[2]) + L"\" --client-dir \"C:\\bench-client\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return 1;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return static_cast<int>(code);
}
