#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/sid.h"

namespace repair {

// Owner Administrators; a protected DACL giving SYSTEM and Administrators full
// control and no one else anything, inherited by all that is created inside.
// Standard users can then neither plant nor swap a download before it runs,
// nor hold one open so that no later run can replace it.
inline constexpr wchar_t kWorkDirectorySddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// How often a work folder name taken away under us is looked at again before
// a folder of an unpredictable name is used instead.
inline constexpr int kWorkDirectoryTries = 3;

// One entry of a DACL as read from an existing folder.
struct AccessEntry {
    bool allows = true;  // false only for the kinds of entry that deny
    SidBytes who;        // empty when the entry's kind does not name one plainly
    ACCESS_MASK mask = 0;
};

// One entry inside an existing work folder, as listed without following links.
struct FolderEntry {
    std::wstring name;
    bool regularFile = false;  // neither a folder nor a link of any kind
    bool realFolder = false;   // a folder that is no link of any kind
};

// What stands at the work folder's name, read through one handle opened
// without following links. Reading it changes nothing.
struct ExistingEntry {
    bool opened = false;
    bool isDirectory = false;
    bool isReparsePoint = false;
    SidBytes owner;                                    // empty when unreadable
    bool daclProtected = false;                        // nothing inherited from the parent
    std::optional<std::vector<AccessEntry>> dacl;      // nullopt: unreadable, or none (all may do all)
    std::optional<std::vector<FolderEntry>> contents;  // nullopt: could not be listed
};

// SYSTEM, Administrators or TrustedInstaller: the only accounts that may own
// or change a folder whose contents run as administrator. Not the account
// this program runs as: its unelevated session could have made the folder,
// and as its owner could still change its permissions.
bool IsTrustedAccount(const SidBytes& account);

// Whether the DACL grants nothing at all to anyone but the trusted accounts:
// one who may only read can still hold a download open and so stop every
// later run from replacing it.
bool OnlyTrustedAreGranted(const std::vector<AccessEntry>& dacl);

// Whether a folder holds nothing that this program did not put there: only
// regular files named as its downloads or as its own partial downloads, and
// the children's temp folder as a real folder (what lies inside it is
// theirs). Anything else could be a DLL that the installer or the tool
// would load from its own folder when run as administrator.
bool HoldsOnlyOwnFiles(const std::vector<FolderEntry>& entries);

// Whether an existing entry is a real folder that only an elevated run can
// have made and only the trusted can change: owned by a trusted account,
// with a protected DACL that grants nothing to anyone else, and no link. A
// standard user cannot make a folder owned by Administrators, and its owner
// could always rewrite its DACL.
bool IsTrustedFolder(const ExistingEntry& entry);

// Whether an existing entry can only be a work folder that an elevated run
// of this program made: the one kind that is used without being replaced.
// A trusted folder holding only our own files; a children's temp folder
// inside it is judged on its own (IsTrustedFolder), not by what it holds.
bool IsOwnWorkFolder(const ExistingEntry& entry);

// The file-system calls behind the work directory; faked in tests, since
// Wine neither stores nor enforces security descriptors.
class DirectorySecurityShell {
public:
    virtual ~DirectorySecurityShell() = default;
    // CreateDirectoryW with the descriptor in the same call: ERROR_SUCCESS or the error code.
    virtual DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) = 0;
    // Reads what stands at path (the entry itself, not what a link points to).
    virtual ExistingEntry Inspect(const std::wstring& path) = 0;
    // Renames the entry (a link itself, not its target) within its folder.
    virtual bool MoveAside(const std::wstring& path, const std::wstring& newPath) = 0;
    // Hex digits no other user can predict.
    virtual std::wstring RandomHex() = 0;
};

// Where the downloads go: the fixed folder at path when this run made it or
// it is one of our own, else a fresh folder of an unpredictable name beside
// it; empty when no folder could be had, so that the downloads fail. An
// existing entry is only ever looked at or renamed, never changed. The
// children's temp folder inside is made with the same descriptor (never
// left to take its owner from the token, which a machine policy can make
// the player's own account), or is an earlier one that passed the same
// judgement; when it cannot be had the children are not started.
std::wstring SecureWorkDirectory(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor,
                                 DirectorySecurityShell& shell);

// The real file system's calls.
std::unique_ptr<DirectorySecurityShell> Win32DirectorySecurityShell();

// SecureWorkDirectory with the real file system and the work folder's descriptor.
std::wstring CreateWorkDirectory(const std::wstring& path);

}  // namespace repair
