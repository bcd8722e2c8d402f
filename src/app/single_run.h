#pragma once

#include <windows.h>

namespace repair {

// What opening or creating the machine-wide run guard gave.
struct GuardAnswer {
    bool opened = false;
    DWORD error = ERROR_SUCCESS;
};

// The named mutex behind "one run at a time"; faked in tests, since under
// Wine every process is an administrator.
class RunGuardShell {
public:
    virtual ~RunGuardShell() = default;
    virtual GuardAnswer Open(const wchar_t* name) = 0;
    virtual GuardAnswer Create(const wchar_t* name) = 0;
    // WaitForSingleObject on what Open or Create gave, without waiting.
    virtual DWORD TryTake() = 0;
    virtual void Give() = 0;
};

// True when another run holds the guard. An elevated process takes the guard
// and keeps it until it ends (a crash leaves it abandoned, which the next
// start takes over). A process without administrator rights may neither
// create a global object nor, once an administrator made it, open it: it
// only looks, and a refusal means that a run is in progress.
bool OtherRunInProgress(bool elevated, const wchar_t* name, RunGuardShell& shell);

// The guard of the real program, held for the rest of the process.
bool OtherRunInProgress(bool elevated);

}  // namespace repair
