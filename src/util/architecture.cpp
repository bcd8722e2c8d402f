#include "util/architecture.h"

namespace repair {
namespace {

// MACHINE_ATTRIBUTES::UserEnabled: user-mode programs of that machine run.
constexpr int kUserEnabled = 0x1;

template <typename Function>
Function Kernel32Function(const char* name) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

}  // namespace

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

WindowsKind KindOf(const ArchitectureProbes& probes, HANDLE process) {
    if (probes.isWow64Process2 == nullptr) {
        // Windows before 10 1709, which had no ARM64 release.
        return Wow64Answer(probes.isWow64Process, process) ? WindowsKind::kX64 : WindowsKind::kX86;
    }
    USHORT processMachine = IMAGE_FILE_MACHINE_UNKNOWN;
    USHORT nativeMachine = IMAGE_FILE_MACHINE_UNKNOWN;
    if (probes.isWow64Process2(process, &processMachine, &nativeMachine) == FALSE) {
        // A failure says nothing of this Windows: ask as before 10 1709.
        return Wow64Answer(probes.isWow64Process, process) ? WindowsKind::kX64 : WindowsKind::kX86;
    }
    // Not under WOW64 means 32-bit Windows, whatever the native machine is said to be.
    if (processMachine == IMAGE_FILE_MACHINE_UNKNOWN) {
        return WindowsKind::kX86;
    }
    if (nativeMachine == IMAGE_FILE_MACHINE_AMD64) {
        return WindowsKind::kX64;
    }
    if (nativeMachine != IMAGE_FILE_MACHINE_ARM64 || probes.getMachineTypeAttributes == nullptr) {
        // Windows 10 on ARM runs x86 programs but no x64 ones.
        return WindowsKind::kX86;
    }
    int attributes = 0;
    return SUCCEEDED(probes.getMachineTypeAttributes(IMAGE_FILE_MACHINE_AMD64, &attributes)) &&
                   (attributes & kUserEnabled) != 0
               ? WindowsKind::kX64OnArm64
               : WindowsKind::kX86;
}

WindowsKind CurrentWindowsKind() {
    // Looked up at run time: a Windows release without one of them still
    // runs the program and answers from what it has.
    ArchitectureProbes probes;
    probes.isWow64Process = Kernel32Function<IsWow64ProcessFn>("IsWow64Process");
    probes.isWow64Process2 = Kernel32Function<IsWow64Process2Fn>("IsWow64Process2");
    probes.getMachineTypeAttributes = Kernel32Function<GetMachineTypeAttributesFn>("GetMachineTypeAttributes");
    return KindOf(probes, GetCurrentProcess());
}

bool Is64BitWindows() {
    return CurrentWindowsKind() != WindowsKind::kX86;
}

}  // namespace repair
