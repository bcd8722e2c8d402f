#include "app/work_directory_security.h"

#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include "net/download.h"
#include "util/constants.h"
#include "util/scoped.h"

namespace repair {
namespace {

// The service SID of TrustedInstaller, which owns what Windows itself installs.
constexpr wchar_t kTrustedInstallerSid[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr wchar_t kMovedAsideInfix[] = L"-moved-";

}  // namespace

bool IsTrustedAccount(const SidBytes& account) {
    if (account.empty()) {
        return false;
    }
    if (IsWellKnownSid(account, WinBuiltinAdministratorsSid) || IsWellKnownSid(account, WinLocalSystemSid)) {
        return true;
    }
    ScopedLocalMemory trustedInstaller;
    return ConvertStringSidToSidW(kTrustedInstallerSid, reinterpret_cast<PSID*>(trustedInstaller.receive())) != FALSE &&
           SameSid(account, trustedInstaller.get());
}

bool OnlyTrustedAreGranted(const std::vector<AccessEntry>& dacl) {
    // Entries that only apply to what is created inside count too: they
    // would open the downloads themselves to others.
    for (const AccessEntry& entry : dacl) {
        if (entry.allows && entry.mask != 0 && !IsTrustedAccount(entry.who)) {
            return false;
        }
    }
    return true;
}

bool HoldsOnlyOwnFiles(const std::vector<FolderEntry>& entries) {
    for (const FolderEntry& entry : entries) {
        if (entry.name == L"." || entry.name == L"..") {
            continue;
        }
        const bool ownFile = entry.regularFile && (IsDownloadFileName(entry.name) || IsPartialDownloadName(entry.name));
        const bool childTemp = entry.realFolder && _wcsicmp(entry.name.c_str(), kChildTempFolderName) == 0;
        if (!ownFile && !childTemp) {
            return false;
        }
    }
    return true;
}

bool IsTrustedFolder(const ExistingEntry& entry) {
    return entry.opened && entry.isDirectory && !entry.isReparsePoint && IsTrustedAccount(entry.owner) &&
           entry.daclProtected && entry.dacl && OnlyTrustedAreGranted(*entry.dacl);
}

bool IsOwnWorkFolder(const ExistingEntry& entry) {
    return IsTrustedFolder(entry) && entry.contents && HoldsOnlyOwnFiles(*entry.contents);
}

namespace {

bool HoldsChildTemp(const ExistingEntry& entry) {
    for (const FolderEntry& inside : *entry.contents) {
        if (_wcsicmp(inside.name.c_str(), kChildTempFolderName) == 0) {
            return true;
        }
    }
    return false;
}

std::wstring ChildTempPath(const std::wstring& folder) {
    return folder + L"\\" + kChildTempFolderName;
}

// Only trusted accounts can write inside a folder that passed, so neither
// what stands at its temp folder's name nor the folder itself can change
// between the looks.
bool IsOwnWithItsTemp(const std::wstring& path, DirectorySecurityShell& shell) {
    const ExistingEntry entry = shell.Inspect(path);
    return IsOwnWorkFolder(entry) && (!HoldsChildTemp(entry) || IsTrustedFolder(shell.Inspect(ChildTempPath(path))));
}

// What the children are given as their temp folder. A failure is not
// judged here: the children then find no real folder and are not started.
std::wstring WithChildTemp(const std::wstring& folder, PSECURITY_DESCRIPTOR descriptor, DirectorySecurityShell& shell) {
    shell.CreateSecured(ChildTempPath(folder), descriptor);
    return folder;
}

}  // namespace

std::wstring SecureWorkDirectory(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor,
                                 DirectorySecurityShell& shell) {
    for (int attempt = 0; attempt < kWorkDirectoryTries; ++attempt) {
        // Made with its descriptor in one call: there is no moment at which
        // the folder exists with the permissions it would inherit.
        const DWORD created = shell.CreateSecured(path, descriptor);
        if (created == ERROR_SUCCESS) {
            return WithChildTemp(path, descriptor, shell);
        }
        if (created != ERROR_ALREADY_EXISTS) {
            // Refused, and a user can make it so on purpose (a folder of this
            // name pending deletion is refused as access denied) and then
            // put a folder of their own at the name: never use it by name.
            break;
        }
        if (IsOwnWithItsTemp(path, shell)) {
            return WithChildTemp(path, descriptor, shell);
        }
        // Anything else goes aside whole, never emptied or changed: it may be
        // a tree that a user laid out with links. If someone takes the name
        // again before we do, the newcomer is looked at the same way.
        if (!shell.MoveAside(path, path + kMovedAsideInfix + shell.RandomHex())) {
            break;
        }
    }
    // A folder whose name nobody could have guessed in time to prepare it.
    for (int attempt = 0; attempt < kWorkDirectoryTries; ++attempt) {
        const std::wstring fresh = path + L"-" + shell.RandomHex();
        if (shell.CreateSecured(fresh, descriptor) == ERROR_SUCCESS) {
            return WithChildTemp(fresh, descriptor, shell);
        }
    }
    return {};
}

namespace {

class Win32DirectorySecurity final : public DirectorySecurityShell {
public:
    DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) override {
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
        return CreateDirectoryW(path.c_str(), &attributes) != FALSE ? ERROR_SUCCESS : GetLastError();
    }

    ExistingEntry Inspect(const std::wstring& path) override {
        ExistingEntry entry;
        // Not shared for deletion, so that it cannot be renamed away and
        // replaced while it is being judged.
        const HANDLE handle = CreateFileW(path.c_str(), READ_CONTROL | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        const ScopedHandle opened(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
        BY_HANDLE_FILE_INFORMATION info = {};
        if (!opened || GetFileInformationByHandle(opened.get(), &info) == FALSE) {
            return entry;
        }
        entry.opened = true;
        entry.isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.isReparsePoint = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (!entry.isDirectory || entry.isReparsePoint) {
            return entry;
        }
        ReadSecurity(opened.get(), entry);
        entry.contents = List(opened.get());
        return entry;
    }

    bool MoveAside(const std::wstring& path, const std::wstring& newPath) override {
        // MoveFileExW renames a link itself, never its target.
        return MoveFileExW(path.c_str(), newPath.c_str(), 0) != FALSE;
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

private:
    static void ReadSecurity(HANDLE folder, ExistingEntry& entry) {
        PSID owner = nullptr;
        PACL dacl = nullptr;
        ScopedLocalMemory descriptor;
        if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                            nullptr, &dacl, nullptr,
                            reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive())) != ERROR_SUCCESS) {
            return;
        }
        entry.owner = SidBytesOf(owner);
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        entry.daclProtected = GetSecurityDescriptorControl(descriptor.get(), &control, &revision) != FALSE &&
                              (control & SE_DACL_PROTECTED) != 0;
        if (dacl == nullptr) {
            return;  // no DACL at all: everyone may do everything
        }
        std::vector<AccessEntry> entries;
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            if (GetAce(dacl, i, &ace) == FALSE) {
                return;
            }
            // Every kind of entry keeps its mask right after its header; only
            // the plain kind is read for whom it names, any other allowing
            // kind counts as naming someone untrusted.
            const auto* header = static_cast<const ACE_HEADER*>(ace);
            AccessEntry access;
            access.mask = static_cast<const ACCESS_ALLOWED_ACE*>(ace)->Mask;
            switch (header->AceType) {
                case ACCESS_ALLOWED_ACE_TYPE:
                    access.who = SidBytesOf(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart);
                    break;
                case ACCESS_DENIED_ACE_TYPE:
                case ACCESS_DENIED_OBJECT_ACE_TYPE:
                case ACCESS_DENIED_CALLBACK_ACE_TYPE:
                case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
                    access.allows = false;
                    break;
                default:
                    break;
            }
            entries.push_back(std::move(access));
        }
        entry.dacl = std::move(entries);
    }

    // Read through the folder's own handle, so never another folder swapped
    // in under its name; nullopt when unreadable.
    static std::optional<std::vector<FolderEntry>> List(HANDLE folder) {
        std::vector<FolderEntry> entries;
        // 8-byte aligned, as the records inside need.
        std::vector<LONGLONG> buffer(8192);
        const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
        for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
            if (GetFileInformationByHandleEx(folder, kind, buffer.data(), bytes) == FALSE) {
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
                const DWORD kind = info->FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
                entry.regularFile = kind == 0;
                entry.realFolder = kind == FILE_ATTRIBUTE_DIRECTORY;
                entries.push_back(std::move(entry));
                if (info->NextEntryOffset == 0) {
                    break;
                }
                record += info->NextEntryOffset;
            }
        }
    }
};

}  // namespace

std::unique_ptr<DirectorySecurityShell> Win32DirectorySecurityShell() {
    return std::make_unique<Win32DirectorySecurity>();
}

std::wstring CreateWorkDirectory(const std::wstring& path) {
    ScopedLocalMemory descriptor;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kWorkDirectorySddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive()),
            nullptr) == FALSE) {
        // Never a folder without the descriptor: its owner would be whatever
        // the token's default is. The downloads then fail and say so.
        return {};
    }
    return SecureWorkDirectory(path, descriptor.get(), *Win32DirectorySecurityShell());
}

}  // namespace repair
