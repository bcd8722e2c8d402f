// The positive controls of the planting tests: loads urlmon.dll by name, by
// the platform's default search order, or with "system32" after restricting
// the search to System32 as the program does. It carries no manifest of its
// own, so one planted beside it still redirects the load. Exits 0 when the
// load returned.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wcscmp(argv[1], L"system32") == 0) {
        SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
        return LoadLibraryExW(L"urlmon.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) != nullptr ? 0 : 1;
    }
    return LoadLibraryW(L"urlmon.dll") != nullptr ? 0 : 1;
}
