#pragma once

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>

#include "util/command_line.h"

namespace repair {

// The mark of a relaunched copy, then every argument after the program's
// path (but a mark of its own), each quoted, single blanks between. The mark
// goes first, so that every other argument keeps its neighbours.
std::wstring RelaunchParameters(const std::optional<Arguments>& arguments);

// Whether this process is the copy a relaunch started (or a start with the
// mark typed in: that gets the message, no more).
bool IsRelaunchedCopy(const std::optional<Arguments>& arguments);
bool IsRelaunchedCopy();

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

// Asks the shell for an elevated copy with the same arguments; never waits
// for the copy, only for the shell to have started it.
void RelaunchElevated();

// What a relaunched copy that is still no administrator says, once.
void ShowElevationRefused();

}  // namespace repair
