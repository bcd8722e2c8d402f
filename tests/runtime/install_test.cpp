#include "runtime/install.h"

#include <gtest/gtest.h>

#include "util/download_urls.h"
#include "app/fake_stage_services.h"

namespace repair {
namespace {

TEST(InstallDesktopRuntime, RunsTheInstallerForTheArchitectureSilentlyAndShown) {
    FakeStageServices services;
    services.is64 = true;
    EXPECT_TRUE(InstallDesktopRuntime(kFakeWork, services));
    const std::wstring target = kFakeWork + L"\\windowsdesktop-runtime-8.0.28-win-x64.exe";
    EXPECT_EQ(services.calls,
              (FakeCalls{L"arch",
                         L"download " + std::wstring(kInstallerUrlX64) + L" -> " + target +
                             L" | 正在下载运行环境... | 首次运行需要安装 .NET Desktop Runtime",
                         L"status 正在安装运行环境... | 安装过程可能需要 1-3 分钟，请稍候。", L"progress 0 marquee",
                         L"run " + target + L" | /install /quiet /norestart | shown"}));
}

TEST(InstallDesktopRuntime, A32BitOrUnknownSystemGetsTheX86Installer) {
    FakeStageServices services;
    InstallDesktopRuntime(kFakeWork, services);
    EXPECT_EQ(services.calls[1].rfind(L"download " + std::wstring(kInstallerUrlX86) + L" -> " + kFakeWork +
                                          L"\\windowsdesktop-runtime-8.0.28-win-x86.exe",
                                      0),
              0u);
}

TEST(InstallDesktopRuntime, AcceptsSuccessAndRebootRequiredSilently) {
    for (int code : {0, 3010}) {
        FakeStageServices services;
        services.childExitCode = code;
        EXPECT_TRUE(InstallDesktopRuntime(kFakeWork, services)) << code;
        EXPECT_EQ(services.calls.back().rfind(L"run ", 0), 0u) << "nothing shown after " << code;
    }
}

TEST(InstallDesktopRuntime, ShowsAnyOtherCodeInUnsignedDecimal) {
    const std::pair<int, std::wstring> cases[] = {{1, L"1"},
                                                  {1603, L"1603"},
                                                  {3011, L"3011"},
                                                  {-1, L"4294967295"},
                                                  {static_cast<int>(0x80070005u), L"2147942405"}};
    for (const auto& [code, digits] : cases) {
        FakeStageServices services;
        services.childExitCode = code;
        EXPECT_FALSE(InstallDesktopRuntime(kFakeWork, services));
        EXPECT_EQ(services.calls.back(), L"warn .NET Desktop Runtime 安装失败，错误码：" + digits);
    }
}

TEST(InstallDesktopRuntime, AFailedDownloadWarnsOnceAndRunsNothing) {
    FakeStageServices services;
    services.downloadSucceeds = false;
    EXPECT_FALSE(InstallDesktopRuntime(kFakeWork, services));
    ASSERT_EQ(services.calls.size(), 3u);
    EXPECT_EQ(services.calls[2], L"warn 下载 .NET Desktop Runtime 失败，请检查网络后重试。");
}

}  // namespace
}  // namespace repair
