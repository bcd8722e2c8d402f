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

struct GuardNames {
    const wchar_t* run;     // machine-wide, held by the elevated run
    const wchar_t* prompt;  // this session's, held by a start waiting on the UAC prompt
};

// True when another run holds the guard. An elevated process takes the run
// guard and keeps it until it ends (a crash leaves it abandoned, which the
// next start takes over). A process without administrator rights may
// neither create a global object nor, once an administrator made it, open
// it: it only looks, and a refusal means that a run is in progress; then it
// takes the prompt guard, which only another start at the UAC prompt holds.
bool OtherRunInProgress(bool elevated, const GuardNames& names, RunGuardShell& run, RunGuardShell& prompt);

// The guard of the real program, held for the rest of the process.
bool OtherRunInProgress(bool elevated);

}  // namespace repair
