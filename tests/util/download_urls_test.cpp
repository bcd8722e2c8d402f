#include "util/download_urls.h"

#include <gtest/gtest.h>

#include <string>

namespace repair {
namespace {

TEST(DownloadUrls, AreTheBaseASlashAndTheLocalFileName) {
    const std::wstring base = REPAIR_TEST_DOWNLOAD_BASE;
    EXPECT_EQ(kInstallerUrlX64, base + L"/windowsdesktop-runtime-8.0.28-win-x64.exe");
    EXPECT_EQ(kInstallerUrlX86, base + L"/windowsdesktop-runtime-8.0.28-win-x86.exe");
    EXPECT_EQ(kToolUrlX64, base + L"/Vandrel_Client_Repair_Tool_net8.exe");
    EXPECT_EQ(kToolUrlX86, base + L"/Vandrel_Client_Repair_Tool_net8_x86.exe");
}

}  // namespace
}  // namespace repair
