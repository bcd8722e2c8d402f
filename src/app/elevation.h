#pragma once

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>

#include "util/command_line.h"

namespace repair {

// Every argument after the program's path, each quoted, single blanks between.
std::wstring RelaunchParameters(const std::optional<Arguments>& arguments);

// The "runas" request for the module path and parameter string. The strings
// must outlive the returned record, which points into them.
SHELLEXECUTEINFOW RelaunchRequest(const std::wstring& modulePath, const std::wstring& parameters);

// What the relaunch needs from the system.
class ElevationShell {
public:
    virtual ~ElevationShell() = default;
    virtual std::optional<Arguments> CommandArguments() = 0;
    virtual std::wstring ExecutablePath() = 0;
    virtual BOOL Execute(SHELLEXECUTEINFOW& request) = 0;
    virtual void ShowWarning(const std::wstring& text) = 0;
};

void RelaunchElevatedWith(ElevationShell& shell);

// True when the thread's effective token has Administrators enabled.
bool IsAdministrator();

// Asks the shell for an elevated copy with the same arguments; never waits.
void RelaunchElevated();

}  // namespace repair
