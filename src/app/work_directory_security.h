#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/sid.h"

namespace repair {

// Owner Administrators; a protected DACL giving SYSTEM and Administrators full
// control and Users read and execute, inherited by all that is created inside.
// Standard users can then neither plant nor swap a download before it runs.
inline constexpr wchar_t kWorkDirectorySddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// How often a work folder name taken away under us is looked at again before
// a folder of an unpredictable name is used instead.
inline constexpr int kWorkDirectoryTries = 3;

// What an existing entry at the work directory's path turned out to be.
struct ExistingEntry {
    bool opened = false;
    bool isDirectory = false;
    bool isReparsePoint = false;
    SidBytes owner;
};

// One entry inside an existing work folder, as listed without following links.
struct FolderEntry {
    std::wstring name;
    bool regularFile = false;  // neither a folder nor a link of any kind
};

// Whether a folder with this owner can only have been prepared by the system
// or an administrator: Administrators, SYSTEM or TrustedInstaller. Not the
// account this program runs as: its unelevated session could have made the
// folder, and as its owner could still change its permissions.
bool IsTrustedOwner(const SidBytes& owner);

// Whether a folder holds nothing that this program did not put there: only
// regular files named as its downloads or as its own partial downloads.
// Anything else could be a DLL that the installer or the tool would load
// from its own folder when run as administrator.
bool HoldsOnlyOwnFiles(const std::vector<FolderEntry>& entries);

// The file-system calls behind securing the work directory; faked in tests,
// since Wine neither stores nor enforces security descriptors.
class DirectorySecurityShell {
public:
    virtual ~DirectorySecurityShell() = default;
    // CreateDirectoryW with the descriptor in the same call: ERROR_SUCCESS or the error code.
    virtual DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) = 0;
    // Opens the entry itself (not what a link points to) and reads its owner.
    virtual ExistingEntry OpenExisting(const std::wstring& path) = 0;
    // Applies the descriptor's owner and protected DACL to the opened entry.
    virtual DWORD ApplyToOpened(PSECURITY_DESCRIPTOR descriptor) = 0;
    // The entries of the opened folder, read through its handle (so never
    // another folder swapped in under its name); nullopt when unreadable.
    virtual std::optional<std::vector<FolderEntry>> ListOpened() = 0;
    virtual void CloseOpened() = 0;
    // Renames the entry (a link itself, not its target) to another name in
    // the same folder, taking it over first if need be.
    virtual bool MoveAside(const std::wstring& path, const std::wstring& newPath) = 0;
    // Hex digits no other user can predict.
    virtual std::wstring RandomHex() = 0;
    // SeTakeOwnership and SeRestore, enabled only while they are needed: the
    // installer and the repair tool inherit this token.
    virtual void SetOwnershipPrivileges(bool enabled) = 0;
};

enum class WorkDirectoryState {
    kCreatedSecured,   // made now, with the descriptor
    kSecuredExisting,  // was there, made by a trusted owner, held only our files; DACL replaced
    kReplaced,         // anything else stood there (a folder with other owners or files, a link,
                       // a file): moved aside, made anew
    kFallback,         // the name could not be had: a fresh folder of an unpredictable name
    kLeftAsIs,         // nothing could be made; the downloads decide
};

struct WorkDirectoryChoice {
    WorkDirectoryState state;
    std::wstring path;  // where the downloads go
};

WorkDirectoryChoice SecureWorkDirectory(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor,
                                        DirectorySecurityShell& shell);

// The real file system's calls; the descriptor is what a take-over applies.
std::unique_ptr<DirectorySecurityShell> Win32DirectorySecurityShell(PSECURITY_DESCRIPTOR descriptor);

// Creates or secures the work directory with the real file system.
WorkDirectoryChoice CreateWorkDirectory(const std::wstring& path);

}  // namespace repair
