#include "util/architecture.h"

namespace repair {

bool Wow64Answer(IsWow64ProcessFn isWow64Process, HANDLE process) {
    if (isWow64Process == nullptr) {
        return false;
    }
    BOOL flag = FALSE;
    if (isWow64Process(process, &flag) == FALSE) {
        return false;
    }
    return flag == TRUE;
}

bool Is64BitWindows() {
    // Looked up at run time: Windows releases without the procedure count as
    // 32-bit instead of failing to load the program.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) {
        return false;
    }
    const FARPROC address = GetProcAddress(kernel, "IsWow64Process");
    return Wow64Answer(reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(address)), GetCurrentProcess());
}

}  // namespace repair
