#include "util/system_library.h"

#include <urlmon.h>

#include <gtest/gtest.h>

#include "support/scratch.h"

namespace repair {
namespace {

TEST(SystemLibrary, ResolvesEveryFunctionTheProgramUses) {
    EXPECT_NE(REPAIR_SYSTEM_FUNCTION(kUrlmonDll, URLDownloadToFileW), nullptr);
    EXPECT_NE(SystemProcedure(kWininetDll, "DeleteUrlCacheEntryW"), nullptr);
    EXPECT_NE(SystemProcedure(kComctl32Dll, "InitCommonControlsEx"), nullptr);
    for (const char* name : {"WinVerifyTrust", "WTHelperProvDataFromStateData", "WTHelperGetProvSignerFromChain",
                             "WTHelperGetProvCertFromChain"}) {
        EXPECT_NE(SystemProcedure(kWintrustDll, name), nullptr) << name;
    }
    EXPECT_NE(SystemProcedure(kCrypt32Dll, "CertGetNameStringW"), nullptr);
}

TEST(SystemLibrary, AMissingDllOrExportIsNullNeverACrash) {
    EXPECT_EQ(SystemProcedure(kUrlmonDll, "NoSuchExportAnywhere"), nullptr);
    EXPECT_EQ(SystemProcedure(L"no_such_library.dll", "Anything"), nullptr);
}

TEST(SystemLibrary, NeverLoadsADllThatStandsOnlyBesideTheProgram) {
    // planted_dll.dll is built next to this test program; were it loaded, it
    // would leave a marker and end the process with 0x7A.
    const std::wstring marker = HelperPath(L"planted_dll.dll.loaded");
    DeleteFileW(marker.c_str());
    ASSERT_NE(GetFileAttributesW(HelperPath(L"planted_dll.dll").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(LoadSystemLibrary(L"planted_dll.dll"), nullptr);
    EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace repair
