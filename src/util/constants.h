#pragma once

// Every fixed name, argument and text of the program, in one place. The file
// names are macros as well so that the generated download URLs can be built
// from them by literal concatenation: one spelling of each name. The runtime
// build's part lives in a file of its own, which the build, the release
// script and the tests read as well.

#include "util/runtime_build.h"

#define REPAIR_TOOL_FILE_X64 L"Vandrel_Client_Repair_Tool_net8.exe"
#define REPAIR_TOOL_FILE_X86 L"Vandrel_Client_Repair_Tool_net8_x86.exe"

namespace repair {

inline constexpr wchar_t kCaption[] = L"赤砂回廊文件修复";

// The DLLs used that are not among Windows' KnownDLLs. They are never
// imported statically: a static import is resolved before the program's first
// line, from its own folder first, and that folder (a downloads folder, the
// game folder) may be writable by anyone. They are loaded from System32 only.
inline constexpr wchar_t kUrlmonDll[] = L"urlmon.dll";
inline constexpr wchar_t kWininetDll[] = L"wininet.dll";
inline constexpr wchar_t kComctl32Dll[] = L"comctl32.dll";
inline constexpr wchar_t kWintrustDll[] = L"wintrust.dll";
inline constexpr wchar_t kCrypt32Dll[] = L"crypt32.dll";
inline constexpr wchar_t kUserenvDll[] = L"userenv.dll";

// What the loader appends to the program's file name for a folder of
// redirected assemblies.
inline constexpr wchar_t kRedirectionSuffix[] = L".local";
// The system's side-by-side store, inside its Windows folder.
inline constexpr wchar_t kSideBySideStoreFolder[] = L"WinSxS";

// Directories.
inline constexpr wchar_t kWorkFolderName[] = L"VandrelRepair";
// When the ProgramData known folder cannot be had: this folder on the
// system drive.
inline constexpr wchar_t kDataRootFallbackFolder[] = L"ProgramData";
// The system drive when the system names none.
inline constexpr wchar_t kDefaultSystemDrive[] = L"C:";
inline constexpr wchar_t kProgramFilesFolderName[] = L"Program Files";
inline constexpr wchar_t kClientDirOption[] = L"--client-dir";
inline constexpr wchar_t kClientMarker[] = L"Vandrel.exe";
inline constexpr wchar_t kClientMarkerLocalised[] = L"赤砂回廊.exe";
// The default client folder, inside the machine's Program Files folder.
inline constexpr wchar_t kDefaultClientFolderName[] = L"Vandrel";

// One run at a time on the machine: the work folder is shared by every user,
// so the guard lives in the global namespace.
inline constexpr wchar_t kRunGuardName[] = L"Global\\VandrelRepairBootstrapperRun";
inline constexpr wchar_t kPromptGuardName[] = L"Local\\VandrelRepairBootstrapperPrompt";

// Elevation.
inline constexpr wchar_t kElevationVerb[] = L"runas";
// The first argument of the copy that "runas" starts: a copy that is still
// no administrator (UAC off on a standard account) must not start another.
inline constexpr wchar_t kRelaunchedMark[] = L"--elevated-copy";
inline constexpr wchar_t kElevationRefusedText[] = L"修复客户端需要管理员权限，请允许弹出的权限确认。";

// Progress window.
inline constexpr wchar_t kWindowClassName[] = L"VandrelRepairBootstrapperWindow";
inline constexpr wchar_t kInitialStatusText[] = L"准备修复客户端...";
inline constexpr wchar_t kInitialDetailText[] = L"请稍候，不要关闭此窗口。";
inline constexpr int kIconResourceId = 101;

// The children's environment: the account's basics added to the machine's.
inline constexpr wchar_t kUserNameVariable[] = L"USERNAME";
inline constexpr wchar_t kUserProfileVariable[] = L"USERPROFILE";
inline constexpr wchar_t kAppDataVariable[] = L"APPDATA";
inline constexpr wchar_t kLocalAppDataVariable[] = L"LOCALAPPDATA";
// What the children get from the system's own calls instead of the machine's
// block, whose values a caller's environment or the machine's PATH can steer.
inline constexpr wchar_t kSystemRootVariable[] = L"SystemRoot";
inline constexpr wchar_t kWindirVariable[] = L"windir";
inline constexpr wchar_t kSystemDriveVariable[] = L"SystemDrive";
inline constexpr wchar_t kPathVariable[] = L"Path";
inline constexpr wchar_t kTempVariable[] = L"TEMP";
inline constexpr wchar_t kTmpVariable[] = L"TMP";
inline constexpr wchar_t kWbemFolder[] = L"Wbem";
inline constexpr wchar_t kPowerShellFolder[] = L"WindowsPowerShell\\v1.0";
// The children's temporary folder, inside the work folder: installers unpack
// what they run there, so no one but an administrator may write it.
inline constexpr wchar_t kChildTempFolderName[] = L"temp";

// Runtime detection. The Program Files folders as the machine records them,
// where only an administrator can change them: the 64-bit registry view
// names the 64-bit folder, the 32-bit view the other.
inline constexpr wchar_t kProgramFilesKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
inline constexpr wchar_t kProgramFilesValue[] = L"ProgramFilesDir";
inline constexpr wchar_t kSharedFrameworkRelative[] = L"dotnet\\shared\\Microsoft.WindowsDesktop.App";
// On Windows on ARM64, dotnet\shared holds the native arm64 runtime, which
// an x64 program cannot use; the x64 runtime is installed beside it.
inline constexpr wchar_t kSharedFrameworkRelativeX64OnArm64[] = L"dotnet\\x64\\shared\\Microsoft.WindowsDesktop.App";
inline constexpr wchar_t kRuntimeVersionPattern[] = L"8.*";
inline constexpr wchar_t kRuntimeKeyX64[] =
    L"SOFTWARE\\dotnet\\Setup\\InstalledVersions\\x64\\sharedfx\\Microsoft.WindowsDesktop.App";
inline constexpr wchar_t kRuntimeKeyX86[] =
    L"SOFTWARE\\dotnet\\Setup\\InstalledVersions\\x86\\sharedfx\\Microsoft.WindowsDesktop.App";

// Runtime installation.
inline constexpr wchar_t kInstallerFileX64[] = REPAIR_INSTALLER_FILE_X64;
inline constexpr wchar_t kInstallerFileX86[] = REPAIR_INSTALLER_FILE_X86;
inline constexpr wchar_t kInstallerArguments[] = L"/install /quiet /norestart";
inline constexpr int kInstallerRebootRequired = 3010;
inline constexpr wchar_t kRuntimeDownloadStatus[] = L"正在下载运行环境...";
inline constexpr wchar_t kRuntimeDownloadDetail[] = L"首次运行需要安装 .NET Desktop Runtime";
inline constexpr wchar_t kRuntimeDownloadFailedText[] = L"下载 .NET Desktop Runtime 失败，请检查网络后重试。";
inline constexpr wchar_t kRuntimeInstallStatus[] = L"正在安装运行环境...";
inline constexpr wchar_t kRuntimeInstallDetail[] = L"安装过程可能需要 1-3 分钟，请稍候。";
inline constexpr wchar_t kRuntimeInstallFailedPrefix[] = L".NET Desktop Runtime 安装失败，错误码：";

// Signatures: the longest wait for one certificate or root that the
// machine's chain engine fetches (Windows' own default).
inline constexpr unsigned long kChainRetrievalTimeoutMs = 15000;

// Repair tool.
inline constexpr wchar_t kToolFileX64[] = REPAIR_TOOL_FILE_X64;
inline constexpr wchar_t kToolFileX86[] = REPAIR_TOOL_FILE_X86;
inline constexpr wchar_t kToolArgumentPrefix[] = L"--client-dir ";
inline constexpr wchar_t kToolDownloadStatus[] = L"正在下载最新修复组件...";
inline constexpr wchar_t kToolDownloadDetail[] = L"下载完成后将自动开始检查并修复。";
inline constexpr wchar_t kToolDownloadFailedText[] = L"下载最新修复工具失败，请检查网络后重试。";
inline constexpr wchar_t kToolRunningStatus[] = L"正在启动修复工具...";
inline constexpr wchar_t kToolRunningDetail[] = L"请在修复工具窗口中等待检查完成。";

}  // namespace repair
