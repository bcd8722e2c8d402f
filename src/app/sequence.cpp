#include "app/sequence.h"

#include "app/activation_context.h"
#include "app/directories.h"
#include "app/elevation.h"
#include "app/redirection_name.h"
#include "app/repair_tool.h"
#include "app/single_run.h"
#include "app/win32_stage_services.h"
#include "process/child_environment.h"
#include "runtime/detection.h"
#include "runtime/install.h"
#include "ui/progress_window.h"

namespace repair {

ExitCode RunBootstrap(Stages& stages) {
    // Both starts ask: the unelevated one so that no prompt is shown for a
    // folder that would be refused, the elevated one because the folder may
    // have changed since. No message: a message box is a window too, and
    // would load the common controls through the same context.
    if (!stages.HoldRedirectionName() || !stages.AssembliesComeFromTheSystem()) {
        return kExitToolFailed;
    }
    const bool elevated = stages.IsAdministrator();
    if (elevated) {
        // The player's own values would reach what the known folders
        // expand (%SystemDrive% in ProgramData's registry value).
        stages.UseSystemFolderVariables();
    }
    // Before anything touches the work folder, and before asking for elevation
    // again: a double click must not start a second run.
    if (stages.OtherRunInProgress(elevated)) {
        stages.ShowRunningWindow();
        return kExitCompleted;
    }
    if (!elevated) {
        // The elevated copy does the work; this process must leave no trace.
        // A copy that "runas" could not elevate (no prompt can appear with
        // UAC off on a standard account) says so instead of starting another.
        if (stages.IsRelaunchedCopy()) {
            stages.ShowElevationRefused();
        } else {
            stages.RelaunchElevated();
        }
        return kExitCompleted;
    }
    const std::wstring workDirectory = stages.PrepareWorkDirectory();
    const std::wstring clientDirectory = stages.ResolveClientDirectory();
    stages.CreateProgressWindow();
    if (!stages.IsDesktopRuntimeInstalled() && !stages.InstallDesktopRuntime(workDirectory)) {
        return kExitRuntimeFailed;
    }
    return stages.LaunchRepairTool(workDirectory, clientDirectory);
}

namespace {

class RealStages final : public Stages {
public:
    bool HoldRedirectionName() override { return repair::HoldRedirectionName(); }
    bool AssembliesComeFromTheSystem() override {
        return repair::AssembliesComeFromTheSystem(QueryProcessActivationContext());
    }
    bool IsAdministrator() override { return repair::IsAdministrator(); }
    void UseSystemFolderVariables() override { repair::UseSystemFolderVariables(Win32EnvironmentShell()); }
    bool OtherRunInProgress(bool elevated) override { return repair::OtherRunInProgress(elevated); }
    void ShowRunningWindow() override { repair::ShowRunningWindow(); }
    void RelaunchElevated() override { repair::RelaunchElevated(); }
    bool IsRelaunchedCopy() override { return repair::IsRelaunchedCopy(); }
    void ShowElevationRefused() override { repair::ShowElevationRefused(); }
    std::wstring PrepareWorkDirectory() override { return repair::PrepareWorkDirectory(); }
    std::wstring ResolveClientDirectory() override { return repair::ResolveClientDirectory(); }
    void CreateProgressWindow() override { repair::CreateProgressWindow(); }
    bool IsDesktopRuntimeInstalled() override { return repair::IsDesktopRuntimeInstalled(); }
    bool InstallDesktopRuntime(const std::wstring& workDirectory) override {
        return repair::InstallDesktopRuntime(workDirectory, Win32StageServices());
    }
    ExitCode LaunchRepairTool(const std::wstring& workDirectory, const std::wstring& clientDirectory) override {
        return repair::LaunchRepairTool(workDirectory, clientDirectory);
    }
};

}  // namespace

Stages& Win32Stages() {
    static RealStages stages;
    return stages;
}

}  // namespace repair
