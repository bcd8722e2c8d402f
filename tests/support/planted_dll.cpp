// A DLL that stands in for one a hostile user plants beside the program. If
// it is ever loaded it leaves "<its own path>.loaded" and ends the process,
// so a test sees both the marker and a run that did not complete.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 16] = {};
        GetModuleFileNameW(self, path, MAX_PATH);
        lstrcatW(path, L".loaded");
        HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(marker);
        ExitProcess(0x7A);
    }
    return TRUE;
}
