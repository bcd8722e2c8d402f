#include "app/single_run.h"

#include "util/constants.h"
#include "util/scoped.h"

namespace repair {
namespace {

bool Taken(DWORD wait) {
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

class Win32RunGuard final : public RunGuardShell {
public:
    GuardAnswer Open(const wchar_t* name) override {
        return Answer(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name));
    }
    GuardAnswer Create(const wchar_t* name) override { return Answer(CreateMutexW(nullptr, FALSE, name)); }
    DWORD TryTake() override { return WaitForSingleObject(mutex_.get(), 0); }
    void Give() override { ReleaseMutex(mutex_.get()); }

private:
    GuardAnswer Answer(HANDLE handle) {
        const DWORD error = GetLastError();
        mutex_.reset(handle);
        return GuardAnswer{handle != nullptr, handle != nullptr ? ERROR_SUCCESS : error};
    }

    ScopedHandle mutex_;
};

// Takes a guard this process may create; false when another process holds it.
bool Claim(const wchar_t* name, RunGuardShell& shell) {
    const GuardAnswer created = shell.Create(name);
    if (!created.opened) {
        // Made by someone we may not open: it is held. Any other failure
        // must not lock the player out.
        return created.error != ERROR_ACCESS_DENIED;
    }
    return shell.TryTake() != WAIT_TIMEOUT;
}

// Looks at a guard that only an administrator can create, without keeping it.
bool HeldElsewhere(const wchar_t* name, RunGuardShell& shell) {
    const GuardAnswer opened = shell.Open(name);
    if (!opened.opened) {
        // Anything but "no such object" means one exists that we may not touch.
        return opened.error != ERROR_FILE_NOT_FOUND;
    }
    const DWORD wait = shell.TryTake();
    if (Taken(wait)) {
        shell.Give();
    }
    return wait == WAIT_TIMEOUT;
}

}  // namespace

bool OtherRunInProgress(bool elevated, const GuardNames& names, RunGuardShell& run, RunGuardShell& prompt) {
    if (elevated) {
        return !Claim(names.run, run);
    }
    // While the UAC prompt is up there is no elevated copy yet, and a second
    // start would ask again: the start that asks holds a guard of this
    // session until the prompt has been answered and it ends.
    return HeldElsewhere(names.run, run) || !Claim(names.prompt, prompt);
}

bool OtherRunInProgress(bool elevated) {
    // Kept open, and held, until the process ends.
    static Win32RunGuard run;
    static Win32RunGuard prompt;
    return OtherRunInProgress(elevated, GuardNames{kRunGuardName, kPromptGuardName}, run, prompt);
}

}  // namespace repair
