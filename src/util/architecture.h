#pragma once

#include <windows.h>

namespace repair {

// Which downloads, runtime folders and registry rows fit this Windows.
enum class WindowsKind {
    kX86,         // 32-bit Windows, Windows on ARM without x64 emulation, or anything not known
    kX64,         // x64 Windows
    kX64OnArm64,  // Windows 11 on ARM64, which runs x64 programs: the x64 runtime lives in dotnet\x64
};

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
// GetMachineTypeAttributes; the attributes are a MACHINE_ATTRIBUTES mask.
using GetMachineTypeAttributesFn = HRESULT(WINAPI*)(USHORT, int*);

// The three procedures, each null when this Windows lacks it.
struct ArchitectureProbes {
    IsWow64ProcessFn isWow64Process = nullptr;
    IsWow64Process2Fn isWow64Process2 = nullptr;
    GetMachineTypeAttributesFn getMachineTypeAttributes = nullptr;
};

// The decision behind Is64BitWindows before IsWow64Process2 (Windows 10
// 1709), for a procedure that may be missing.
bool Wow64Answer(IsWow64ProcessFn isWow64Process, HANDLE process);

// The decision behind CurrentWindowsKind. A failing IsWow64Process2 is
// answered as where it is missing; every other failure answers kX86.
WindowsKind KindOf(const ArchitectureProbes& probes, HANDLE process);

// Asked afresh on every call, the procedures looked up at run time.
WindowsKind CurrentWindowsKind();

// True when this 32-bit process should take the x64 rows: x64 Windows, or
// Windows on ARM64 that can run x64 programs. Every failure answers false,
// which selects the x86 downloads.
bool Is64BitWindows();

}  // namespace repair
