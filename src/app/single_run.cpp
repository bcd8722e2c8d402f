#include "app/single_run.h"

#include <sddl.h>

#include "util/constants.h"
#include "util/scoped.h"
#include "util/sid.h"

namespace repair {
namespace {

// What NtQueryMutant reports of a mutex (MutantBasicInformation).
struct MutantBasicInformation {
    LONG currentCount;  // 1 when free, 0 or less while a thread holds it
    BOOLEAN ownedByCaller;
    BOOLEAN abandonedState;
};
using NtQueryMutantFn = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
constexpr int kMutantBasicInformation = 0;
constexpr DWORD kMutantQueryState = 0x0001;

// Owned by Administrators; SYSTEM and Administrators may do anything with
// it, every signed-in user may only read its owner and its state. Nobody
// else can take it, nor keep it alive to take it once the run ends.
constexpr wchar_t kRunGuardSddl[] = L"O:BAD:(A;;0x1F0001;;;SY)(A;;0x1F0001;;;BA)(A;;0x20001;;;AU)";

class Win32RunGuard final : public RunGuardShell {
public:
    explicit Win32RunGuard(bool administratorsOwn) : administratorsOwn_(administratorsOwn) {}

    GuardAnswer Open(const wchar_t* name) override {
        return Answer(OpenMutexW(READ_CONTROL | kMutantQueryState, FALSE, name));
    }
    GuardAnswer Create(const wchar_t* name) override {
        if (!administratorsOwn_) {
            return Answer(CreateMutexW(nullptr, FALSE, name));
        }
        ScopedLocalMemory descriptor;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
                kRunGuardSddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive()),
                nullptr) == FALSE) {
            return GuardAnswer{false, GetLastError()};
        }
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
        return Answer(CreateMutexW(&attributes, FALSE, name));
    }
    SidBytes Owner() override { return OwnerOf(mutex_.get(), SE_KERNEL_OBJECT); }
    std::optional<bool> IsHeld() override {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        const auto query = reinterpret_cast<NtQueryMutantFn>(
            reinterpret_cast<void*>(ntdll ? GetProcAddress(ntdll, "NtQueryMutant") : nullptr));
        MutantBasicInformation info = {};
        if (!mutex_ || query == nullptr ||
            query(mutex_.get(), kMutantBasicInformation, &info, sizeof(info), nullptr) < 0) {
            return std::nullopt;
        }
        return info.currentCount <= 0;
    }
    DWORD TryTake() override { return WaitForSingleObject(mutex_.get(), 0); }

private:
    GuardAnswer Answer(HANDLE handle) {
        const DWORD error = GetLastError();
        mutex_.reset(handle);
        return GuardAnswer{handle != nullptr, error};
    }

    bool administratorsOwn_;
    ScopedHandle mutex_;
};

// The elevated run takes the machine-wide guard, unless someone else made
// it: that one is passed by, and this run goes on without a guard.
bool ClaimRun(const wchar_t* name, RunGuardShell& shell) {
    const GuardAnswer created = shell.Create(name);
    if (!created.opened) {
        return true;  // one we may not open is not ours; none to be had must not lock the player out
    }
    if (created.error == ERROR_ALREADY_EXISTS && !IsGenuineGuardOwner(shell.Owner())) {
        return true;
    }
    return shell.TryTake() != WAIT_TIMEOUT;
}

// Takes the session's prompt guard; false when another start holds it.
bool ClaimPrompt(const wchar_t* name, RunGuardShell& shell) {
    const GuardAnswer created = shell.Create(name);
    if (!created.opened) {
        // Made by someone we may not open: it is held. Any other failure
        // must not lock the player out.
        return created.error != ERROR_ACCESS_DENIED;
    }
    return shell.TryTake() != WAIT_TIMEOUT;
}

// Looks at the machine-wide guard without taking it. The genuine one lets
// everyone read its owner and state, so one we may not open is not it.
bool HeldElsewhere(const wchar_t* name, RunGuardShell& shell) {
    const GuardAnswer opened = shell.Open(name);
    if (!opened.opened || !IsGenuineGuardOwner(shell.Owner())) {
        return false;
    }
    return shell.IsHeld().value_or(true);
}

}  // namespace

bool IsGenuineGuardOwner(const SidBytes& owner) {
    return IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid);
}

bool OtherRunInProgress(bool elevated, const GuardNames& names, RunGuardShell& run, RunGuardShell& prompt) {
    if (elevated) {
        return !ClaimRun(names.run, run);
    }
    // While the UAC prompt is up there is no elevated copy yet, and a second
    // start would ask again: the start that asks holds a guard of this
    // session until the prompt has been answered and it ends.
    return HeldElsewhere(names.run, run) || !ClaimPrompt(names.prompt, prompt);
}

std::unique_ptr<RunGuardShell> Win32RunGuardShell(bool administratorsOwn) {
    return std::make_unique<Win32RunGuard>(administratorsOwn);
}

bool OtherRunInProgress(bool elevated) {
    // Kept open, and held, until the process ends.
    static const std::unique_ptr<RunGuardShell> run = Win32RunGuardShell(true);
    static const std::unique_ptr<RunGuardShell> prompt = Win32RunGuardShell(false);
    return OtherRunInProgress(elevated, GuardNames{kRunGuardName, kPromptGuardName}, *run, *prompt);
}

}  // namespace repair
