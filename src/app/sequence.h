#pragma once

#include <string>

#include "app/exit_code.h"

namespace repair {

// The stages of one run, in the order they are called.
class Stages {
public:
    virtual ~Stages() = default;
    // Whether no folder beside the program redirects its assemblies
    // (<program>.local), holding the name for the run where it can. Asked
    // first: the activation context does not report such a folder.
    virtual bool HoldRedirectionName() = 0;
    // Whether every assembly bound into the process came from the system,
    // none from the program's own folder. Asked before anything that could
    // load a DLL through them: a window, a message box, a load by name.
    virtual bool AssembliesComeFromTheSystem() = 0;
    virtual bool IsAdministrator() = 0;
    // Sets this process's SystemRoot, windir and SystemDrive from the
    // system, before anything the elevated run reads could expand them.
    virtual void UseSystemFolderVariables() = 0;
    virtual bool OtherRunInProgress(bool elevated) = 0;
    virtual void ShowRunningWindow() = 0;
    virtual void RelaunchElevated() = 0;
    // A copy that "runas" started and that is still no administrator.
    virtual bool IsRelaunchedCopy() = 0;
    virtual void ShowElevationRefused() = 0;
    virtual std::wstring PrepareWorkDirectory() = 0;
    virtual std::wstring ResolveClientDirectory() = 0;
    virtual void CreateProgressWindow() = 0;
    virtual bool IsDesktopRuntimeInstalled() = 0;
    virtual bool InstallDesktopRuntime(const std::wstring& workDirectory) = 0;
    virtual ExitCode LaunchRepairTool(const std::wstring& workDirectory, const std::wstring& clientDirectory) = 0;
};

ExitCode RunBootstrap(Stages& stages);

// The stages of the real program.
Stages& Win32Stages();

}  // namespace repair
