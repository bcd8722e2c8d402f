#include "util/architecture.h"

#include <gtest/gtest.h>

namespace repair {
namespace {

BOOL g_flagToReport = FALSE;
BOOL g_resultToReturn = TRUE;

BOOL WINAPI FakeIsWow64Process(HANDLE, PBOOL flag) {
    *flag = g_flagToReport;
    return g_resultToReturn;
}

TEST(Is64BitWindows, FollowsTheWow64FlagOnlyWhenItIsExactlyTrue) {
    g_resultToReturn = TRUE;
    g_flagToReport = TRUE;
    EXPECT_TRUE(Wow64Answer(FakeIsWow64Process, GetCurrentProcess()));
    g_flagToReport = FALSE;
    EXPECT_FALSE(Wow64Answer(FakeIsWow64Process, GetCurrentProcess()));
    g_flagToReport = 2;  // non-zero but not TRUE
    EXPECT_FALSE(Wow64Answer(FakeIsWow64Process, GetCurrentProcess()));
}

TEST(Is64BitWindows, EveryFailureSelectsThe32BitDownloads) {
    EXPECT_FALSE(Wow64Answer(nullptr, GetCurrentProcess())) << "procedure missing";
    g_resultToReturn = FALSE;
    g_flagToReport = TRUE;
    EXPECT_FALSE(Wow64Answer(FakeIsWow64Process, GetCurrentProcess())) << "call failed, flag ignored";
}

// What IsWow64Process2 and GetMachineTypeAttributes report.
USHORT g_processMachine = IMAGE_FILE_MACHINE_I386;
USHORT g_nativeMachine = IMAGE_FILE_MACHINE_AMD64;
BOOL g_wow64Process2Result = TRUE;
HRESULT g_attributesResult = S_OK;
int g_attributes = 0;

BOOL WINAPI FakeIsWow64Process2(HANDLE, USHORT* process, USHORT* native) {
    *process = g_processMachine;
    *native = g_nativeMachine;
    return g_wow64Process2Result;
}

HRESULT WINAPI FakeGetMachineTypeAttributes(USHORT machine, int* attributes) {
    *attributes = machine == IMAGE_FILE_MACHINE_AMD64 ? g_attributes : 0;
    return g_attributesResult;
}

TEST(KindOf, TheNativeMachineDecidesAndEveryFailureIsX86) {
    constexpr int kUserEnabled = 1, kKernelOnly = 2;
    constexpr USHORT kUnknown = IMAGE_FILE_MACHINE_UNKNOWN, kI386 = IMAGE_FILE_MACHINE_I386,
                     kAmd64 = IMAGE_FILE_MACHINE_AMD64, kArm64 = IMAGE_FILE_MACHINE_ARM64;
    struct Case {
        const char* what;
        bool hasProbe2, hasAttributes;
        USHORT process, native;
        BOOL probe2Result;
        HRESULT attributesResult;
        int attributes;
        WindowsKind expected;
    };
    const Case cases[] = {
        {"x64 Windows", true, true, kI386, kAmd64, TRUE, S_OK, 0, WindowsKind::kX64},
        {"32-bit Windows", true, true, kUnknown, kI386, TRUE, S_OK, 0, WindowsKind::kX86},
        {"not under WOW64, whatever is said native", true, true, kUnknown, kAmd64, TRUE, S_OK, 0, WindowsKind::kX86},
        {"ARM64 running x64", true, true, kI386, kArm64, TRUE, S_OK, kUserEnabled, WindowsKind::kX64OnArm64},
        {"ARM64 without x64 (Windows 10)", true, true, kI386, kArm64, TRUE, S_OK, 0, WindowsKind::kX86},
        {"ARM64, x64 for the kernel only", true, true, kI386, kArm64, TRUE, S_OK, kKernelOnly, WindowsKind::kX86},
        {"ARM64, attributes missing", true, false, kI386, kArm64, TRUE, S_OK, kUserEnabled, WindowsKind::kX86},
        {"ARM64, attributes failing", true, true, kI386, kArm64, TRUE, E_FAIL, kUserEnabled, WindowsKind::kX86},
        {"another native machine", true, true, kI386, 0x01c4 /* ARMNT */, TRUE, S_OK, kUserEnabled, WindowsKind::kX86},
        {"IsWow64Process2 failing: the WOW64 flag decides", true, true, kI386, kAmd64, FALSE, S_OK, 0,
         WindowsKind::kX64},
    };
    for (const Case& c : cases) {
        g_processMachine = c.process;
        g_nativeMachine = c.native;
        g_wow64Process2Result = c.probe2Result;
        g_attributesResult = c.attributesResult;
        g_attributes = c.attributes;
        g_resultToReturn = TRUE;
        g_flagToReport = TRUE;  // asked only where IsWow64Process2 is missing or fails
        ArchitectureProbes probes{FakeIsWow64Process, c.hasProbe2 ? FakeIsWow64Process2 : nullptr,
                                  c.hasAttributes ? FakeGetMachineTypeAttributes : nullptr};
        EXPECT_EQ(KindOf(probes, GetCurrentProcess()), c.expected) << c.what;
    }
    g_flagToReport = TRUE;
    EXPECT_EQ(KindOf({FakeIsWow64Process, nullptr, nullptr}, GetCurrentProcess()), WindowsKind::kX64)
        << "before Windows 10 1709: the WOW64 flag, as always";
    g_flagToReport = FALSE;
    EXPECT_EQ(KindOf({FakeIsWow64Process, nullptr, nullptr}, GetCurrentProcess()), WindowsKind::kX86);
    EXPECT_EQ(KindOf({FakeIsWow64Process, FakeIsWow64Process2, nullptr}, GetCurrentProcess()), WindowsKind::kX86)
        << "IsWow64Process2 failing and no WOW64";
    EXPECT_EQ(KindOf({}, GetCurrentProcess()), WindowsKind::kX86) << "nothing to ask";
}

TEST(Is64BitWindows, A64BitProcessIsNeverUnderWow64) {
    // This build is x86_64: there is no WOW64 layer, so the real probe says no,
    // though Wine reports AMD64 as the native machine.
    EXPECT_FALSE(Is64BitWindows());
    EXPECT_EQ(CurrentWindowsKind(), WindowsKind::kX86);
}

}  // namespace
}  // namespace repair
