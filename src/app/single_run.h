#pragma once

#include <windows.h>

#include <memory>
#include <optional>

#include "util/sid.h"

namespace repair {

// What opening or creating the machine-wide run guard gave.
struct GuardAnswer {
    bool opened = false;
    DWORD error = ERROR_SUCCESS;  // ERROR_ALREADY_EXISTS when Create opened one that was there
};

// The named mutex behind "one run at a time"; faked in tests, since under
// Wine every process is an administrator and no start is a standard user's.
class RunGuardShell {
public:
    virtual ~RunGuardShell() = default;
    // Opens the guard with only the rights to read its owner and its state.
    virtual GuardAnswer Open(const wchar_t* name) = 0;
    // Creates the guard owned by Administrators, which everyone may look at
    // (owner and state) but only administrators may take; or opens it.
    virtual GuardAnswer Create(const wchar_t* name) = 0;
    // The owner of what Open or Create gave, as SID bytes; empty when unread.
    virtual SidBytes Owner() = 0;
    // Whether a thread holds what Open gave; nullopt when that cannot be told.
    virtual std::optional<bool> IsHeld() = 0;
    // WaitForSingleObject on what Create gave, without waiting.
    virtual DWORD TryTake() = 0;
};

struct GuardNames {
    const wchar_t* run;     // machine-wide, held by the elevated run
    const wchar_t* prompt;  // this session's, held by a start waiting on the UAC prompt
};

// Whether a guard with this owner can only have been made by an elevated
// run: Administrators or SYSTEM. Any user may create a mutex in the global
// namespace, but none can make Administrators its owner.
bool IsGenuineGuardOwner(const SidBytes& owner);

// True when another run holds the guard. An elevated process takes the run
// guard and keeps it until it ends (a crash leaves it abandoned, which the
// next start takes over). A guard that someone else made never stops a run:
// one not owned by Administrators or SYSTEM, or one we may not even open, is
// passed by. A process without administrator rights only looks: a genuine
// guard that a thread holds means a run is in progress; then it takes the
// prompt guard, which only another start at the UAC prompt holds.
bool OtherRunInProgress(bool elevated, const GuardNames& names, RunGuardShell& run, RunGuardShell& prompt);

// The real mutex calls. administratorsOwn: the machine-wide run guard, made
// owned by Administrators; otherwise the session's prompt guard, made by an
// unelevated start with the default security.
std::unique_ptr<RunGuardShell> Win32RunGuardShell(bool administratorsOwn);

// The guard of the real program, held for the rest of the process.
bool OtherRunInProgress(bool elevated);

}  // namespace repair
