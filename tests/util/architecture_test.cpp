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

TEST(Is64BitWindows, A64BitProcessIsNeverUnderWow64) {
    // This build is x86_64: there is no WOW64 layer, so the real probe says no.
    EXPECT_FALSE(Is64BitWindows());
}

}  // namespace
}  // namespace repair
