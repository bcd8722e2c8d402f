#include "app/repair_tool.h"

#include <gtest/gtest.h>

#include "util/download_urls.h"
#include "app/fake_stage_services.h"

namespace repair {
namespace {

TEST(LaunchRepairTool, DownloadsTheToolForTheArchitectureAndRunsItOnTheClient) {
    FakeStageServices services;
    services.is64 = true;
    EXPECT_EQ(LaunchRepairTool(kFakeWork, L"D:\\Games\\Client", services), kExitCompleted);
    const std::wstring target = kFakeWork + L"\\Vandrel_Client_Repair_Tool_net8.exe";
    EXPECT_EQ(services.calls,
              (FakeCalls{L"arch",
                         L"download " + std::wstring(kToolUrlX64) + L" -> " + target +
                             L" | 正在下载最新修复组件... | 下载完成后将自动开始检查并修复。",
                         L"status 正在启动修复工具... | 请在修复工具窗口中等待检查完成。", L"progress 100",
                         L"run " + target + L" | --client-dir \"D:\\Games\\Client\"", L"close"}));
}

TEST(LaunchRepairTool, A32BitOrUnknownSystemGetsTheX86Tool) {
    FakeStageServices services;
    services.is64 = false;
    LaunchRepairTool(kFakeWork, L"C", services);
    ASSERT_GE(services.calls.size(), 2u);
    EXPECT_EQ(services.calls[1].rfind(L"download " + std::wstring(kToolUrlX86) + L" -> " + kFakeWork +
                                          L"\\Vandrel_Client_Repair_Tool_net8_x86.exe",
                                      0),
              0u);
}

TEST(LaunchRepairTool, AFailedDownloadWarnsAndEndsWith2) {
    FakeStageServices services;
    services.downloadSucceeds = false;
    EXPECT_EQ(LaunchRepairTool(kFakeWork, L"C", services), kExitToolFailed);
    ASSERT_EQ(services.calls.size(), 3u);
    EXPECT_EQ(services.calls[2], L"warn 下载最新修复工具失败，请检查网络后重试。");
}

TEST(LaunchRepairTool, OnlyTheLaunchFailureValueCountsAsAFailedStart) {
    for (int code : {0, 1, 3010, static_cast<int>(0xC0000005u)}) {
        FakeStageServices services;
        services.childExitCode = code;
        EXPECT_EQ(LaunchRepairTool(kFakeWork, L"C", services), kExitCompleted) << code;
        EXPECT_EQ(services.calls.back(), L"close") << code;
    }
    FakeStageServices services;
    services.childExitCode = -1;
    EXPECT_EQ(LaunchRepairTool(kFakeWork, L"C", services), kExitToolFailed);
    EXPECT_EQ(services.calls.back().rfind(L"run ", 0), 0u) << "no message box, window kept";
}

TEST(LaunchRepairTool, TheClientDirectoryBecomesOneQuotedArgument) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"", L"--client-dir \"\""},
        {L"C:\\", L"--client-dir \"C:\\\\\""},
        {L"D:\\赤砂 回廊\\", L"--client-dir \"D:\\赤砂 回廊\\\\\""},
        {L"relative", L"--client-dir \"relative\""},
    };
    for (const auto& [client, args] : cases) {
        FakeStageServices services;
        LaunchRepairTool(kFakeWork, client, services);
        EXPECT_EQ(services.calls[4], L"run " + kFakeWork + L"\\Vandrel_Client_Repair_Tool_net8_x86.exe | " + args);
    }
}

}  // namespace
}  // namespace repair
