#include "app/redirection_name.h"

#include <windows.h>

#include <optional>

#include "util/command_line.h"
#include "util/constants.h"
#include "util/join_path.h"
#include "util/scoped.h"

namespace repair {
namespace {

bool Allows(RedirectionEntry entry) {
    return entry == RedirectionEntry::kNone || entry == RedirectionEntry::kHeldFile;
}

bool NoneBlocks(RedirectionShell& shell, const std::wstring& folder, const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) {
        RedirectionEntry entry = shell.Inspect(folder, name);
        if (entry == RedirectionEntry::kFile && shell.Remove(folder, name)) {
            entry = shell.Inspect(folder, name);
        }
        if (!Allows(entry)) {
            return false;
        }
    }
    return true;
}

// A file that another handle holds without sharing cannot be opened for
// reading; one that nobody holds can.
RedirectionEntry FileEntry(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION ? RedirectionEntry::kHeldFile : RedirectionEntry::kFile;
    }
    CloseHandle(file);
    return RedirectionEntry::kFile;
}

RedirectionEntry EntryOf(const std::wstring& path, DWORD attributes) {
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return RedirectionEntry::kFolder;
    }
    return FileEntry(path);
}

class Win32Redirection final : public RedirectionShell {
public:
    RedirectionEntry Inspect(const std::wstring& folder, const std::wstring& name) override {
        const std::optional<std::wstring> path = TryJoinPath(folder, name);
        if (!path) {
            return RedirectionEntry::kFolder;
        }
        // Every entry whose name matches, whatever its letter case (a folder
        // may be case-sensitive, and then hold more than one).
        WIN32_FIND_DATAW found = {};
        ScopedFindHandle search(
            FindFirstFileExW(path->c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
        if (!search) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                return RedirectionEntry::kNone;
            }
            // The folder cannot be listed: the name itself may still be looked at.
            const DWORD attributes = GetFileAttributesW(path->c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                const DWORD missing = GetLastError();
                return missing == ERROR_FILE_NOT_FOUND || missing == ERROR_PATH_NOT_FOUND ? RedirectionEntry::kNone
                                                                                          : RedirectionEntry::kFolder;
            }
            return EntryOf(*path, attributes);
        }
        RedirectionEntry worst = RedirectionEntry::kNone;
        do {
            const std::optional<std::wstring> each = TryJoinPath(folder, found.cFileName);
            const RedirectionEntry entry = each ? EntryOf(*each, found.dwFileAttributes) : RedirectionEntry::kFolder;
            if (!Allows(entry)) {
                return entry;
            }
            worst = entry;
        } while (FindNextFileW(search.get(), &found) != FALSE);
        return worst;
    }

    bool Claim(const std::wstring& folder, const std::wstring& name) override {
        const std::optional<std::wstring> path = TryJoinPath(folder, name);
        if (!path) {
            return false;
        }
        const HANDLE file =
            CreateFileW(path->c_str(), GENERIC_READ | DELETE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        held_.reset(file);
        return true;
    }

    bool Remove(const std::wstring& folder, const std::wstring& name) override {
        const std::optional<std::wstring> path = TryJoinPath(folder, name);
        return path && DeleteFileW(path->c_str()) != FALSE;
    }

    void Release() { held_.reset(); }

private:
    ScopedHandle held_;
};

Win32Redirection& ProcessRedirection() {
    static Win32Redirection shell;
    return shell;
}

// The program's file name as the loader may have been given it: long, and
// short where the volume keeps 8.3 names.
std::vector<std::wstring> ProgramFileNames() {
    const std::wstring path = ModulePath();
    std::vector<std::wstring> names = {path.substr(path.find_last_of(L"\\/") + 1)};
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        const std::wstring shortPath = buffer;
        const std::wstring shortName = shortPath.substr(shortPath.find_last_of(L"\\/") + 1);
        if (CompareStringOrdinal(shortName.c_str(), -1, names[0].c_str(), -1, TRUE) != CSTR_EQUAL) {
            names.push_back(shortName);
        }
    }
    for (std::wstring& name : names) {
        name += kRedirectionSuffix;
    }
    return names;
}

}  // namespace

bool HoldRedirectionName(RedirectionShell& shell, const std::wstring& folder, const std::vector<std::wstring>& names) {
    if (folder.empty() || names.empty() || !NoneBlocks(shell, folder, names)) {
        return false;
    }
    shell.Claim(folder, names.front());
    return NoneBlocks(shell, folder, names);
}

bool HoldRedirectionName() {
    const std::wstring path = ModulePath();
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return false;
    }
    return HoldRedirectionName(ProcessRedirection(), path.substr(0, slash + 1), ProgramFileNames());
}

void ReleaseRedirectionName() {
    ProcessRedirection().Release();
}

}  // namespace repair
