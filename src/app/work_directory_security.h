#pragma once

#include <windows.h>

#include <string>

namespace repair {

// Owner Administrators; a protected DACL giving SYSTEM and Administrators full
// control and Users read and execute, inherited by all that is created inside.
// Standard users can then neither plant nor swap a download before it runs.
inline constexpr wchar_t kWorkDirectorySddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// What an existing entry at the work directory's path turned out to be.
struct ExistingEntry {
    bool opened = false;
    bool isDirectory = false;
    bool isReparsePoint = false;
};

// The file-system calls behind securing the work directory; faked in tests,
// since Wine neither stores nor enforces security descriptors.
class DirectorySecurityShell {
public:
    virtual ~DirectorySecurityShell() = default;
    // CreateDirectoryW with the descriptor: ERROR_SUCCESS or the error code.
    virtual DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) = 0;
    // Opens the entry itself (not what a link points to) for changing its owner and DACL.
    virtual ExistingEntry OpenExisting(const std::wstring& path) = 0;
    // Applies the descriptor's owner and protected DACL to the opened entry.
    virtual DWORD ApplyToOpened(PSECURITY_DESCRIPTOR descriptor) = 0;
    virtual void CloseOpened() = 0;
    // Removes a directory link (junction or symbolic link), not its target.
    virtual bool RemoveLink(const std::wstring& path) = 0;
};

enum class WorkDirectoryState {
    kCreatedSecured,   // made now, with the descriptor
    kSecuredExisting,  // was there; owner and DACL replaced
    kReplacedLink,     // a link stood there; removed and made anew
    kLeftAsIs,         // could not be secured; the downloads decide
};

WorkDirectoryState SecureWorkDirectory(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor,
                                       DirectorySecurityShell& shell);

// Creates or secures the work directory with the real file system.
WorkDirectoryState CreateWorkDirectory(const std::wstring& path);

}  // namespace repair
