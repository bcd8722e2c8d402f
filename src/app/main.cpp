#include <windows.h>

#include "app/sequence.h"

namespace {

// Before anything can load a DLL by name: search System32 only, never the
// folder the program was started from, which a standard user may write to.
// The DLLs that are not KnownDLLs are loaded by the program itself from
// System32; this restriction also covers what they load in turn. Windows
// without the call (Vista, 7 without KB2533623) at least lose the current
// directory from the search.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC address = kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (address != nullptr) {
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(address))(LOAD_LIBRARY_SEARCH_SYSTEM32);
    } else {
        SetDllDirectoryW(L"");
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictDllSearch();
    return repair::RunBootstrap(repair::Win32Stages());
}
