#pragma once

#include <windows.h>

#include "util/constants.h"

namespace repair {

// Loads a DLL from System32 and nowhere else, its own dependencies included.
// The module stays loaded for the life of the process (a transfer given up
// may still be running inside it). Null when it cannot be had.
HMODULE LoadSystemLibrary(const wchar_t* name);

// An export of a System32 DLL, or null when the DLL or the export is missing.
FARPROC SystemProcedure(const wchar_t* dll, const char* name);

template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(SystemProcedure(dll, name)));
}

}  // namespace repair

// The function typed as the SDK declares it: REPAIR_SYSTEM_FUNCTION(kUrlmonDll,
// URLDownloadToFileW). The caller must handle null, and fails its stage then.
#define REPAIR_SYSTEM_FUNCTION(dll, function) ::repair::SystemFunction<decltype(&::function)>(dll, #function)
