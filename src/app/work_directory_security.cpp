#include "app/work_directory_security.h"

#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include "net/download.h"
#include "util/scoped.h"

namespace repair {
namespace {

// The service SID of TrustedInstaller, which owns what Windows itself installs.
constexpr wchar_t kTrustedInstallerSid[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr wchar_t kMovedAsideInfix[] = L"-moved-";

// Keeps the ownership privileges enabled from the first time they are needed
// until the work folder is settled, and never longer.
class OwnershipPrivileges {
public:
    explicit OwnershipPrivileges(DirectorySecurityShell& shell) : shell_(shell) {}
    ~OwnershipPrivileges() {
        if (enabled_) {
            shell_.SetOwnershipPrivileges(false);
        }
    }
    OwnershipPrivileges(const OwnershipPrivileges&) = delete;
    OwnershipPrivileges& operator=(const OwnershipPrivileges&) = delete;

    void Enable() {
        if (!enabled_) {
            shell_.SetOwnershipPrivileges(true);
            enabled_ = true;
        }
    }

private:
    DirectorySecurityShell& shell_;
    bool enabled_ = false;
};

enum class Existing { kAdopted, kMovedAside, kUnusable };

// Adopts what a trusted owner prepared and that holds only our own files;
// anything else (another user's folder, a link, a file, a folder with
// anything else in it) is moved out of the way, never used. Nothing inside
// it is deleted: it may be a tree that a user laid out with links.
Existing Settle(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor, DirectorySecurityShell& shell,
                OwnershipPrivileges& privileges) {
    privileges.Enable();
    const ExistingEntry entry = shell.OpenExisting(path);
    if (entry.opened && entry.isDirectory && !entry.isReparsePoint && IsTrustedOwner(entry.owner)) {
        // Secured first, so that nothing can be added once it has been looked at.
        const DWORD applied = shell.ApplyToOpened(descriptor);
        if (applied != ERROR_SUCCESS) {
            shell.CloseOpened();
            return Existing::kUnusable;
        }
        const std::optional<std::vector<FolderEntry>> entries = shell.ListOpened();
        if (entries && HoldsOnlyOwnFiles(*entries)) {
            shell.CloseOpened();
            return Existing::kAdopted;
        }
    }
    if (entry.opened) {
        shell.CloseOpened();
    }
    return shell.MoveAside(path, path + kMovedAsideInfix + shell.RandomHex()) ? Existing::kMovedAside
                                                                              : Existing::kUnusable;
}

}  // namespace

bool IsTrustedOwner(const SidBytes& owner) {
    if (owner.empty()) {
        return false;
    }
    if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid)) {
        return true;
    }
    ScopedLocalMemory trustedInstaller;
    return ConvertStringSidToSidW(kTrustedInstallerSid, reinterpret_cast<PSID*>(trustedInstaller.receive())) != FALSE &&
           SameSid(owner, trustedInstaller.get());
}

bool HoldsOnlyOwnFiles(const std::vector<FolderEntry>& entries) {
    for (const FolderEntry& entry : entries) {
        if (entry.name == L"." || entry.name == L"..") {
            continue;
        }
        if (!entry.regularFile || !(IsDownloadFileName(entry.name) || IsPartialDownloadName(entry.name))) {
            return false;
        }
    }
    return true;
}

WorkDirectoryChoice SecureWorkDirectory(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor,
                                        DirectorySecurityShell& shell) {
    OwnershipPrivileges privileges(shell);
    bool movedAside = false;
    for (int attempt = 0; attempt < kWorkDirectoryTries; ++attempt) {
        // Made with its descriptor in one call: there is no moment at which
        // the folder exists with the permissions it would inherit.
        const DWORD created = shell.CreateSecured(path, descriptor);
        if (created == ERROR_SUCCESS) {
            return {movedAside ? WorkDirectoryState::kReplaced : WorkDirectoryState::kCreatedSecured, path};
        }
        if (created != ERROR_ALREADY_EXISTS) {
            // No folder can be made beside it either (ProgramData missing,
            // disk full): the downloads will fail and say so.
            return {WorkDirectoryState::kLeftAsIs, path};
        }
        const Existing existing = Settle(path, descriptor, shell, privileges);
        if (existing == Existing::kAdopted) {
            return {WorkDirectoryState::kSecuredExisting, path};
        }
        if (existing == Existing::kUnusable) {
            break;
        }
        // Moved aside; if someone takes the name again before we do, the
        // newcomer is looked at the same way.
        movedAside = true;
    }
    // The fixed name cannot be had: a folder whose name nobody could have
    // guessed in time to prepare it.
    std::wstring fresh;
    for (int attempt = 0; attempt < kWorkDirectoryTries; ++attempt) {
        fresh = path + L"-" + shell.RandomHex();
        if (shell.CreateSecured(fresh, descriptor) == ERROR_SUCCESS) {
            return {WorkDirectoryState::kFallback, fresh};
        }
    }
    // Never the folder someone else controls: a path that does not exist
    // makes the downloads fail instead.
    return {WorkDirectoryState::kLeftAsIs, fresh};
}

namespace {

class Win32DirectorySecurity final : public DirectorySecurityShell {
public:
    explicit Win32DirectorySecurity(PSECURITY_DESCRIPTOR descriptor) : descriptor_(descriptor) {}

    DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) override {
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
        return CreateDirectoryW(path.c_str(), &attributes) != FALSE ? ERROR_SUCCESS : GetLastError();
    }

    ExistingEntry OpenExisting(const std::wstring& path) override {
        ExistingEntry entry;
        // Without read access to its descriptor (its owner shut us out) the
        // entry can still be taken over, but its owner stays unknown; without
        // the right to list it, what it holds does.
        opened_.reset(Open(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_LIST_DIRECTORY));
        canList_ = static_cast<bool>(opened_);
        if (!canList_) {
            opened_.reset(Open(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER));
        }
        const bool canRead = static_cast<bool>(opened_);
        if (!canRead) {
            opened_.reset(Open(path, WRITE_DAC | WRITE_OWNER));
        }
        BY_HANDLE_FILE_INFORMATION info = {};
        if (!opened_ || GetFileInformationByHandle(opened_.get(), &info) == FALSE) {
            opened_.reset();
            return entry;
        }
        entry.opened = true;
        entry.isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.isReparsePoint = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (canRead) {
            entry.owner = OwnerOf(opened_.get(), SE_FILE_OBJECT);
        }
        return entry;
    }

    DWORD ApplyToOpened(PSECURITY_DESCRIPTOR descriptor) override { return Apply(opened_.get(), descriptor); }

    void CloseOpened() override { opened_.reset(); }

    bool MoveAside(const std::wstring& path, const std::wstring& newPath) override {
        // MoveFileExW renames a link itself, never its target.
        if (MoveFileExW(path.c_str(), newPath.c_str(), 0) != FALSE) {
            return true;
        }
        if (GetLastError() != ERROR_ACCESS_DENIED) {
            return false;  // held open without delete sharing, for one
        }
        {
            const ScopedHandle entry(Open(path, WRITE_DAC | WRITE_OWNER));
            if (!entry || Apply(entry.get(), descriptor_) != ERROR_SUCCESS) {
                return false;
            }
        }
        return MoveFileExW(path.c_str(), newPath.c_str(), 0) != FALSE;
    }

    std::optional<std::vector<FolderEntry>> ListOpened() override {
        if (!opened_ || !canList_) {
            return std::nullopt;
        }
        std::vector<FolderEntry> entries;
        // 8-byte aligned, as the records inside need.
        std::vector<LONGLONG> buffer(8192);
        const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
        for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
            if (GetFileInformationByHandleEx(opened_.get(), kind, buffer.data(), bytes) == FALSE) {
                if (GetLastError() == ERROR_NO_MORE_FILES) {
                    return entries;
                }
                return std::nullopt;
            }
            const BYTE* record = reinterpret_cast<const BYTE*>(buffer.data());
            for (;;) {
                const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(record);
                FolderEntry entry;
                entry.name.assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
                entry.regularFile =
                    (info->FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
                entries.push_back(std::move(entry));
                if (info->NextEntryOffset == 0) {
                    break;
                }
                record += info->NextEntryOffset;
            }
        }
    }

    std::wstring RandomHex() override {
        unsigned char bytes[8] = {};
        if (RtlGenRandom(bytes, sizeof(bytes)) == FALSE) {
            // Still unique on this machine, if not unpredictable.
            const ULONGLONG fallback = GetTickCount64() ^ (static_cast<ULONGLONG>(GetCurrentProcessId()) << 32);
            for (unsigned i = 0; i < sizeof(bytes); ++i) {
                bytes[i] = static_cast<unsigned char>(fallback >> (8 * i));
            }
        }
        static constexpr wchar_t kDigits[] = L"0123456789abcdef";
        std::wstring hex;
        for (const unsigned char byte : bytes) {
            hex += kDigits[byte >> 4];
            hex += kDigits[byte & 0x0F];
        }
        return hex;
    }

    void SetOwnershipPrivileges(bool enabled) override {
        ScopedHandle token;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.receive()) == FALSE) {
            return;
        }
        for (const wchar_t* name : {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME}) {
            TOKEN_PRIVILEGES privileges = {};
            privileges.PrivilegeCount = 1;
            privileges.Privileges[0].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
            if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) != FALSE) {
                AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
            }
        }
    }

private:
    static HANDLE Open(const std::wstring& path, DWORD access) {
        const HANDLE handle =
            CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }

    // By handle, so the entry checked is the one that is changed.
    static DWORD Apply(HANDLE entry, PSECURITY_DESCRIPTOR descriptor) {
        PSID owner = nullptr;
        PACL dacl = nullptr;
        BOOL defaulted = FALSE, present = FALSE;
        if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) == FALSE ||
            GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) == FALSE) {
            return GetLastError();
        }
        return SetSecurityInfo(
            entry, SE_FILE_OBJECT,
            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, owner,
            nullptr, dacl, nullptr);
    }

    PSECURITY_DESCRIPTOR descriptor_;
    ScopedHandle opened_;
    bool canList_ = false;
};

}  // namespace

std::unique_ptr<DirectorySecurityShell> Win32DirectorySecurityShell(PSECURITY_DESCRIPTOR descriptor) {
    return std::make_unique<Win32DirectorySecurity>(descriptor);
}

WorkDirectoryChoice CreateWorkDirectory(const std::wstring& path) {
    ScopedLocalMemory descriptor;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kWorkDirectorySddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive()),
            nullptr) == FALSE) {
        // Never a folder without the descriptor: its owner would be whatever
        // the token's default is. The downloads then fail and say so.
        return {WorkDirectoryState::kLeftAsIs, path};
    }
    const auto shell = Win32DirectorySecurityShell(descriptor.get());
    return SecureWorkDirectory(path, descriptor.get(), *shell);
}

}  // namespace repair
