#pragma once

#include <optional>
#include <string>
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

// Where a child's environment comes from; faked in tests.
class EnvironmentShell {
public:
    virtual ~EnvironmentShell() = default;
    // What CreateEnvironmentBlock builds without a user token, as NAME=VALUE
    // entries: the machine's values only. Nullopt when it fails.
    virtual std::optional<std::vector<std::wstring>> MachineVariables() = 0;
    // From the system's own calls, never from a variable.
    virtual AccountBasics Account() = 0;
};

// The environment block for an elevated child: the machine's variables and
// the account's basics, sorted by name as Windows requires, each entry
// NUL-terminated and the block ending in one more NUL. Nothing comes from
// the user's own registry or from this process's environment, which that
// user's unelevated session writes freely (a profiler or startup hook
// named there would run as administrator). Nullopt when the machine's
// variables cannot be had: the child is then not started.
std::optional<std::wstring> ChildEnvironment(EnvironmentShell& shell);

EnvironmentShell& Win32EnvironmentShell();

}  // namespace repair
