#pragma once

#include <windows.h>

namespace repair {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

// The decision behind Is64BitWindows, for a procedure that may be missing.
bool Wow64Answer(IsWow64ProcessFn isWow64Process, HANDLE process);

// True only when this 32-bit process runs under WOW64. Every failure answers
// false, which selects the x86 downloads.
bool Is64BitWindows();

}  // namespace repair
