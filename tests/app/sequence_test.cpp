#include "app/sequence.h"

#include <gtest/gtest.h>

#include <vector>

namespace repair {
namespace {

using Calls = std::vector<std::wstring>;

class FakeStages final : public Stages {
public:
    bool administrator = true;
    bool runtimePresent = true;
    bool installSucceeds = true;
    bool runInProgress = false;
    bool systemAssemblies = true;
    bool noRedirection = true;
    bool relaunched = false;
    ExitCode toolResult = kExitCompleted;
    Calls calls;

    bool HoldRedirectionName() override { return noRedirection; }
    bool AssembliesComeFromTheSystem() override { return systemAssemblies; }
    bool IsAdministrator() override {
        calls.push_back(L"admin?");
        return administrator;
    }
    void UseSystemFolderVariables() override { calls.push_back(L"system variables"); }
    bool OtherRunInProgress(bool elevated) override {
        calls.push_back(elevated ? L"guard elevated" : L"guard standard");
        return runInProgress;
    }
    void ShowRunningWindow() override { calls.push_back(L"front"); }
    void RelaunchElevated() override { calls.push_back(L"relaunch"); }
    bool IsRelaunchedCopy() override { return relaunched; }
    void ShowElevationRefused() override { calls.push_back(L"warn elevation"); }
    std::wstring PrepareWorkDirectory() override {
        calls.push_back(L"work");
        return L"W";
    }
    std::wstring ResolveClientDirectory() override {
        calls.push_back(L"client");
        return L"C";
    }
    void CreateProgressWindow() override { calls.push_back(L"window"); }
    bool IsDesktopRuntimeInstalled() override {
        calls.push_back(L"runtime?");
        return runtimePresent;
    }
    bool InstallDesktopRuntime(const std::wstring& work) override {
        calls.push_back(L"install " + work);
        return installSucceeds;
    }
    ExitCode LaunchRepairTool(const std::wstring& work, const std::wstring& client) override {
        calls.push_back(L"tool " + work + L" " + client);
        return toolResult;
    }
};

TEST(Bootstrap, AnUnelevatedProcessOnlyRelaunchesAndEndsWith0) {
    FakeStages stages;
    stages.administrator = false;
    EXPECT_EQ(RunBootstrap(stages), kExitCompleted);
    EXPECT_EQ(stages.calls, (Calls{L"admin?", L"guard standard", L"relaunch"}));
}

TEST(Bootstrap, ACopyThatRunasLeftUnelevatedSaysSoOnceAndNeverRelaunches) {
    FakeStages stages;
    stages.administrator = false;
    stages.relaunched = true;
    EXPECT_EQ(RunBootstrap(stages), kExitCompleted);
    EXPECT_EQ(stages.calls, (Calls{L"admin?", L"guard standard", L"warn elevation"}));
    stages = FakeStages();
    stages.relaunched = true;
    RunBootstrap(stages);
    EXPECT_EQ(stages.calls.back(), L"tool W C") << "elevated, the mark changes nothing";
}

TEST(Bootstrap, WithTheRuntimePresentGoesStraightToTheTool) {
    FakeStages stages;
    stages.toolResult = kExitToolFailed;
    EXPECT_EQ(RunBootstrap(stages), kExitToolFailed);
    EXPECT_EQ(stages.calls, (Calls{L"admin?", L"system variables", L"guard elevated", L"work", L"client", L"window",
                                   L"runtime?", L"tool W C"}));
}

TEST(Bootstrap, InstallsAMissingRuntimeBeforeTheTool) {
    FakeStages stages;
    stages.runtimePresent = false;
    EXPECT_EQ(RunBootstrap(stages), kExitCompleted);
    EXPECT_EQ(stages.calls, (Calls{L"admin?", L"system variables", L"guard elevated", L"work", L"client", L"window",
                                   L"runtime?", L"install W", L"tool W C"}));
}

TEST(Bootstrap, AFailedInstallEndsWith1WithoutTheTool) {
    FakeStages stages;
    stages.runtimePresent = false;
    stages.installSucceeds = false;
    EXPECT_EQ(RunBootstrap(stages), kExitRuntimeFailed);
    EXPECT_EQ(stages.calls.back(), L"install W");
}

TEST(Bootstrap, AnAssemblyOrARedirectionFolderFromTheProgramsFolderEndsWith2BeforeAnythingElse) {
    for (const bool administrator : {true, false}) {
        for (const bool redirection : {true, false}) {
            FakeStages stages;
            stages.administrator = administrator;
            stages.noRedirection = !redirection;
            stages.systemAssemblies = redirection;
            EXPECT_EQ(RunBootstrap(stages), kExitToolFailed);
            EXPECT_EQ(stages.calls, Calls{}) << "no prompt, no window, no folder, no download";
        }
    }
}

TEST(Bootstrap, AStartWhileAnotherRunIsOnOnlyShowsThatRunAndEndsWith0) {
    for (const bool administrator : {true, false}) {
        FakeStages stages;
        stages.administrator = administrator;
        stages.runInProgress = true;
        EXPECT_EQ(RunBootstrap(stages), kExitCompleted);
        const Calls expected = administrator ? Calls{L"admin?", L"system variables", L"guard elevated", L"front"}
                                             : Calls{L"admin?", L"guard standard", L"front"};
        EXPECT_EQ(stages.calls, expected) << "no elevation asked for, the work folder untouched";
    }
}

}  // namespace
}  // namespace repair
