#include "app/work_directory_security.h"

#include <aclapi.h>
#include <sddl.h>

#include "util/scoped.h"

namespace repair {

WorkDirectoryState SecureWorkDirectory(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor,
                                       DirectorySecurityShell& shell) {
    const DWORD created = shell.CreateSecured(path, descriptor);
    if (created == ERROR_SUCCESS) {
        return WorkDirectoryState::kCreatedSecured;
    }
    if (created != ERROR_ALREADY_EXISTS) {
        return WorkDirectoryState::kLeftAsIs;
    }

    // Anyone may have made the folder before the first run, and may own it.
    const ExistingEntry entry = shell.OpenExisting(path);
    if (!entry.opened) {
        return WorkDirectoryState::kLeftAsIs;
    }
    if (entry.isReparsePoint) {
        // A link would send the downloads, and the new DACL, wherever it
        // points: replace the link itself with a folder of our own.
        shell.CloseOpened();
        if (shell.RemoveLink(path) && shell.CreateSecured(path, descriptor) == ERROR_SUCCESS) {
            return WorkDirectoryState::kReplacedLink;
        }
        return WorkDirectoryState::kLeftAsIs;
    }
    if (!entry.isDirectory) {
        shell.CloseOpened();
        return WorkDirectoryState::kLeftAsIs;
    }
    const DWORD applied = shell.ApplyToOpened(descriptor);
    shell.CloseOpened();
    return applied == ERROR_SUCCESS ? WorkDirectoryState::kSecuredExisting : WorkDirectoryState::kLeftAsIs;
}

namespace {

// Lets an administrator take over a folder whose owner shut it out. Best
// effort: without the privileges the attempt simply fails later.
void EnableOwnershipPrivileges() {
    ScopedHandle token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.receive()) == FALSE) {
        return;
    }
    for (const wchar_t* name : {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME}) {
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) != FALSE) {
            AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
        }
    }
}

class Win32DirectorySecurity final : public DirectorySecurityShell {
public:
    DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) override {
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
        return CreateDirectoryW(path.c_str(), &attributes) != FALSE ? ERROR_SUCCESS : GetLastError();
    }

    ExistingEntry OpenExisting(const std::wstring& path) override {
        EnableOwnershipPrivileges();
        ExistingEntry entry;
        const HANDLE handle =
            CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return entry;
        }
        opened_.reset(handle);
        BY_HANDLE_FILE_INFORMATION info = {};
        if (GetFileInformationByHandle(opened_.get(), &info) == FALSE) {
            opened_.reset();
            return entry;
        }
        entry.opened = true;
        entry.isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.isReparsePoint = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        return entry;
    }

    DWORD ApplyToOpened(PSECURITY_DESCRIPTOR descriptor) override {
        PSID owner = nullptr;
        PACL dacl = nullptr;
        BOOL defaulted = FALSE, present = FALSE;
        if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) == FALSE ||
            GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) == FALSE) {
            return GetLastError();
        }
        // By handle, so the entry checked above is the one that is changed.
        return SetSecurityInfo(
            opened_.get(), SE_FILE_OBJECT,
            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, owner,
            nullptr, dacl, nullptr);
    }

    void CloseOpened() override { opened_.reset(); }

    bool RemoveLink(const std::wstring& path) override { return RemoveDirectoryW(path.c_str()) != FALSE; }

private:
    ScopedHandle opened_;
};

}  // namespace

WorkDirectoryState CreateWorkDirectory(const std::wstring& path) {
    ScopedLocalMemory descriptor;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kWorkDirectorySddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive()),
            nullptr) == FALSE) {
        CreateDirectoryW(path.c_str(), nullptr);
        return WorkDirectoryState::kLeftAsIs;
    }
    Win32DirectorySecurity shell;
    return SecureWorkDirectory(path, descriptor.get(), shell);
}

}  // namespace repair
