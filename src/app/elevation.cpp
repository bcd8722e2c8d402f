#include "app/elevation.h"

#include "app/redirection_name.h"
#include "util/constants.h"
#include "ui/message.h"
#include "util/quote.h"
#include "util/scoped.h"

namespace repair {

std::wstring RelaunchParameters(const std::optional<Arguments>& arguments) {
    std::wstring parameters = kRelaunchedMark;
    if (!arguments) {
        return parameters;
    }
    for (std::size_t i = IsRelaunchedCopy(arguments) ? 2 : 1; i < arguments->size(); ++i) {
        parameters += L' ';
        parameters += Quote((*arguments)[i]);
    }
    return parameters;
}

bool IsRelaunchedCopy(const std::optional<Arguments>& arguments) {
    return arguments && arguments->size() >= 2 && (*arguments)[1] == kRelaunchedMark;
}

bool IsRelaunchedCopy() {
    return IsRelaunchedCopy(ProcessArguments());
}

SHELLEXECUTEINFOW RelaunchRequest(const std::wstring& modulePath, const std::wstring& parameters) {
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof(request);
    // This process ends as soon as the call returns: the shell must have
    // finished the launch by then.
    request.fMask = SEE_MASK_NOASYNC;
    request.hwnd = nullptr;
    request.lpVerb = kElevationVerb;
    request.lpFile = modulePath.c_str();
    request.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    request.lpDirectory = nullptr;
    request.nShow = SW_SHOWNORMAL;
    return request;
}

void RelaunchElevatedWith(ElevationShell& shell) {
    const std::wstring modulePath = shell.ExecutablePath();
    const std::wstring parameters = RelaunchParameters(shell.CommandArguments());
    SHELLEXECUTEINFOW request = RelaunchRequest(modulePath, parameters);
    if (shell.Execute(request) == TRUE) {
        return;
    }
    shell.ShowWarning(kElevationRefusedText);
}

bool IsAdministrator() {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    ScopedSid administrators;
    if (AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                 0, administrators.receive()) == FALSE) {
        return false;
    }
    BOOL member = FALSE;
    CheckTokenMembership(nullptr, administrators.get(), &member);
    return member == TRUE;
}

namespace {

class Win32ElevationShell final : public ElevationShell {
public:
    std::optional<Arguments> CommandArguments() override { return ProcessArguments(); }
    std::wstring ExecutablePath() override { return ModulePath(); }
    // The copy looks for the redirection name first, and must not find this
    // process's hold.
    BOOL Execute(SHELLEXECUTEINFOW& request) override {
        ReleaseRedirectionName();
        return ShellExecuteExW(&request);
    }
    // A message box loads the common controls: only with the name held again.
    void ShowWarning(const std::wstring& text) override {
        if (HoldRedirectionName()) {
            repair::ShowWarning(text);
        }
    }
};

}  // namespace

void RelaunchElevated() {
    Win32ElevationShell shell;
    RelaunchElevatedWith(shell);
}

void ShowElevationRefused() {
    Win32ElevationShell shell;
    shell.ShowWarning(kElevationRefusedText);
}

}  // namespace repair
