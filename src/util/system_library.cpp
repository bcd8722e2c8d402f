#include "util/system_library.h"

#include <string>

namespace repair {
namespace {

// Windows without KB2533623 (Vista, unpatched 7) reject the search flags.
// There the DLL is named by its full System32 path, and the altered search
// order makes its dependencies come from that folder as well.
HMODULE LoadByFullPath(const wchar_t* name) {
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::wstring path = std::wstring(system) + L"\\" + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
    const HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) {
        return module;
    }
    return LoadByFullPath(name);
}

FARPROC SystemProcedure(const wchar_t* dll, const char* name) {
    const HMODULE module = LoadSystemLibrary(dll);
    return module != nullptr ? GetProcAddress(module, name) : nullptr;
}

}  // namespace repair
