#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace repair {

// The running account's basics that programs expect to find, each empty
// when the system could not say.
struct AccountBasics {
    std::wstring userName;
    std::wstring profile;
    std::wstring roamingAppData;
    std::wstring localAppData;
};

// The system's own folders, from GetSystemWindowsDirectoryW and
// GetSystemDirectoryW; empty when the system could not say.
struct SystemFolders {
    std::wstring windows;
    std::wstring system;
};

// NAME and VALUE of one variable.
using Variable = std::pair<std::wstring, std::wstring>;

// Where a child's environment comes from; faked in tests.
class EnvironmentShell {
public:
    virtual ~EnvironmentShell() = default;
    // Sets the given variables in this process's own environment, which is
    // what the machine's values are expanded against; false when any could
    // not be set.
    virtual bool SetOwnVariables(const std::vector<Variable>& values) = 0;
    // What CreateEnvironmentBlock builds without a user token, as NAME=VALUE
    // entries: the machine's values only. Nullopt when it fails.
    virtual std::optional<std::vector<std::wstring>> MachineVariables() = 0;
    // From the system's own calls, never from a variable.
    virtual AccountBasics Account() = 0;
    virtual SystemFolders Folders() = 0;
};

// Sets SystemRoot, windir and SystemDrive in this process's own environment
// from the system's folders; false when they cannot be had or set.
bool UseSystemFolderVariables(EnvironmentShell& shell);

// The environment block for an elevated child: the machine's variables and
// the account's basics, sorted by name as Windows requires, each entry
// NUL-terminated and the block ending in one more NUL. Nothing comes from
// the user's own registry or from this process's environment, which that
// user's unelevated session writes freely (a profiler or startup hook
// named there would run as administrator). SystemRoot, windir and
// SystemDrive name the system's own Windows folder; PATH holds the system's
// folders only (a machine PATH often holds folders any user may change);
// TEMP and TMP name tempFolder, which only administrators can write (every
// user may prepare names in the machine's temp folder). The machine's
// values are expanded against the system's folder names, set in this
// process's own environment first. Nullopt when those cannot be set, or
// the machine's variables, the system's folders or the temp folder cannot
// be had: the child is then not started.
std::optional<std::wstring> ChildEnvironment(EnvironmentShell& shell, const std::wstring& tempFolder);

EnvironmentShell& Win32EnvironmentShell();

}  // namespace repair
