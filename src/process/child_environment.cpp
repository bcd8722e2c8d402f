#include "process/child_environment.h"

#include <windows.h>
#include <lmcons.h>
#include <userenv.h>

#include <algorithm>
#include <memory>

#include "util/constants.h"
#include "util/join_path.h"
#include "util/known_folder.h"
#include "util/scoped.h"
#include "util/system_library.h"

namespace repair {
namespace {

std::wstring NameOf(const std::wstring& entry) {
    // A leading '=' belongs to the name (the hidden per-drive entries).
    const std::wstring::size_type equals = entry.find(L'=', 1);
    return entry.substr(0, equals);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool NameBefore(const std::wstring& a, const std::wstring& b) {
    const std::wstring left = NameOf(a);
    const std::wstring right = NameOf(b);
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_LESS_THAN;
}

// The system's folder names and the PATH of system folders only; empty when
// the system did not name its folders on a drive.
std::vector<Variable> SystemValues(const SystemFolders& folders) {
    const std::wstring& windows = folders.windows;
    if (!IsFullyQualifiedPath(windows) || windows[1] != L':' || !IsFullyQualifiedPath(folders.system)) {
        return {};
    }
    const std::wstring path = folders.system + L";" + windows + L";" + JoinPath(folders.system, kWbemFolder) + L";" +
                              JoinPath(folders.system, kPowerShellFolder);
    return {{kSystemRootVariable, windows},
            {kWindirVariable, windows},
            {kSystemDriveVariable, windows.substr(0, 2)},
            {kPathVariable, path}};
}

void Replace(std::vector<std::wstring>& entries, const std::wstring& name, const std::wstring& value) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&name](const std::wstring& entry) { return SameName(NameOf(entry), name); }),
                  entries.end());
    if (!value.empty()) {
        entries.push_back(name + L"=" + value);
    }
}

class Win32Environment final : public EnvironmentShell {
public:
    bool SetOwnVariables(const std::vector<Variable>& values) override {
        bool all = true;
        for (const auto& [name, value] : values) {
            all = SetEnvironmentVariableW(name.c_str(), value.c_str()) != FALSE && all;
        }
        return all;
    }

    std::optional<std::vector<std::wstring>> MachineVariables() override {
        const auto create = REPAIR_SYSTEM_FUNCTION(kUserenvDll, CreateEnvironmentBlock);
        const auto destroy = REPAIR_SYSTEM_FUNCTION(kUserenvDll, DestroyEnvironmentBlock);
        void* raw = nullptr;
        // No token: the system's variables only, none of any user's.
        if (create == nullptr || destroy == nullptr || create(&raw, nullptr, FALSE) == FALSE || raw == nullptr) {
            return std::nullopt;
        }
        const std::unique_ptr<void, decltype(destroy)> block(raw, destroy);
        std::vector<std::wstring> entries;
        for (const wchar_t* entry = static_cast<const wchar_t*>(raw); *entry != L'\0'; entry += wcslen(entry) + 1) {
            entries.emplace_back(entry);
        }
        return entries;
    }

    AccountBasics Account() override {
        AccountBasics account;
        wchar_t name[UNLEN + 1] = {};
        DWORD length = UNLEN + 1;
        if (GetUserNameW(name, &length) != FALSE) {
            account.userName = name;
        }
        account.profile = KnownFolderPath(FOLDERID_Profile);
        account.roamingAppData = KnownFolderPath(FOLDERID_RoamingAppData);
        account.localAppData = KnownFolderPath(FOLDERID_LocalAppData);
        return account;
    }

    SystemFolders Folders() override {
        SystemFolders folders;
        wchar_t buffer[MAX_PATH] = {};
        const UINT windows = GetSystemWindowsDirectoryW(buffer, MAX_PATH);
        if (windows > 0 && windows < MAX_PATH) {
            folders.windows = buffer;
        }
        const UINT system = GetSystemDirectoryW(buffer, MAX_PATH);
        if (system > 0 && system < MAX_PATH) {
            folders.system = buffer;
        }
        return folders;
    }
};

}  // namespace

bool UseSystemFolderVariables(EnvironmentShell& shell) {
    std::vector<Variable> folders;
    for (const Variable& value : SystemValues(shell.Folders())) {
        if (!SameName(value.first, kPathVariable)) {
            folders.push_back(value);
        }
    }
    return !folders.empty() && shell.SetOwnVariables(folders);
}

std::optional<std::wstring> ChildEnvironment(EnvironmentShell& shell, const std::wstring& tempFolder) {
    const std::vector<Variable> system = SystemValues(shell.Folders());
    if (system.empty() || tempFolder.empty()) {
        return std::nullopt;
    }
    // Wine expands the machine's values (ComSpec, TEMP, windir) against the
    // caller's own SystemRoot and SystemDrive, which the player's session
    // may have set: they must be the system's before the block is built, or
    // there is no block (the elevated run set them at its start already;
    // again, in case anything since changed them). This process reads no
    // variable itself.
    if (!UseSystemFolderVariables(shell)) {
        return std::nullopt;
    }
    std::optional<std::vector<std::wstring>> entries = shell.MachineVariables();
    if (!entries) {
        return std::nullopt;
    }
    // What the machine's block says of the account (a default profile, or
    // nothing) gives way to what the system says of this one; what it says
    // of the system's folders and the temp folder, to the system's own.
    const AccountBasics account = shell.Account();
    std::vector<Variable> own = {{kUserNameVariable, account.userName},
                                 {kUserProfileVariable, account.profile},
                                 {kAppDataVariable, account.roamingAppData},
                                 {kLocalAppDataVariable, account.localAppData},
                                 {kTempVariable, tempFolder},
                                 {kTmpVariable, tempFolder}};
    own.insert(own.end(), system.begin(), system.end());
    for (const auto& [name, value] : own) {
        Replace(*entries, name, value);
    }
    std::stable_sort(entries->begin(), entries->end(), NameBefore);
    std::wstring block;
    for (const std::wstring& entry : *entries) {
        block += entry;
        block += L'\0';
    }
    // An empty block still needs its two terminators.
    block += entries->empty() ? std::wstring(2, L'\0') : std::wstring(1, L'\0');
    return block;
}

EnvironmentShell& Win32EnvironmentShell() {
    static Win32Environment shell;
    return shell;
}

}  // namespace repair
