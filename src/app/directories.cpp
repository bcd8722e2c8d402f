#include "app/directories.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <wchar.h>

#include "util/known_folder.h"
#include "util/constants.h"
#include "app/work_directory_security.h"
#include "net/download.h"
#include "util/join_path.h"
#include "util/machine_folders.h"
#include "util/scoped.h"

namespace repair {
namespace {

bool IsPresentFile(DWORD attributes) {
    // INVALID_FILE_ATTRIBUTES has the directory bit set, so a missing entry
    // fails this test too.
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsExistingDirectory(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::wstring WorkDirectoryFor(const std::wstring& dataRoot, const std::wstring& systemDrive) {
    const std::wstring fallback = JoinPath(systemDrive + L"\\" + kDataRootFallbackFolder, kWorkFolderName);
    if (dataRoot.empty() || dataRoot.size() >= MAX_PATH) {
        return fallback;
    }
    // A value that fits but leaves no room for the folder name makes the
    // append fail, which can leave an empty or cut path: downloads would then
    // land relative to whatever the current directory is. Only the append's
    // own answer tells: a value that itself ends in the folder name looks
    // complete whether or not anything was appended.
    return TryJoinPath(dataRoot, kWorkFolderName).value_or(fallback);
}

std::wstring KnownDataRoot() {
    // Not the ProgramData variable: the elevated copy's environment comes
    // from the user's own registry, which the user may write unelevated.
    // The known folder only an administrator can move.
    return KnownFolderPath(FOLDERID_ProgramData);
}

std::wstring ChooseClientDirectory(const std::optional<Arguments>& arguments, const std::wstring& executableDirectory,
                                   const std::wstring& defaultClientDirectory, const AttributesOf& attributesOf) {
    if (arguments) {
        const Arguments& args = *arguments;
        for (std::size_t i = 1; i + 1 < args.size(); ++i) {
            if (_wcsicmp(args[i].c_str(), kClientDirOption) == 0) {
                return args[i + 1];
            }
        }
    }
    for (const wchar_t* marker : {kClientMarker, kClientMarkerLocalised}) {
        if (IsPresentFile(attributesOf(JoinPath(executableDirectory, marker)))) {
            return executableDirectory;
        }
    }
    if (!defaultClientDirectory.empty() && IsExistingDirectory(attributesOf(defaultClientDirectory))) {
        return defaultClientDirectory;
    }
    return executableDirectory;
}

std::wstring ExecutableDirectory() {
    wchar_t buffer[MAX_PATH] = {};
    lstrcpynW(buffer, ModulePath().c_str(), MAX_PATH);
    PathRemoveFileSpecW(buffer);
    return buffer;
}

std::wstring PrepareWorkDirectory() {
    return PrepareWorkDirectoryAt(WorkDirectoryFor(KnownDataRoot(), SystemDrive()));
}

std::wstring PrepareWorkDirectoryAt(const std::wstring& path) {
    // Where the downloads go: the fixed folder, or a fresh one when the fixed
    // name is held by someone else; empty when no folder could be had.
    const std::wstring workDirectory = CreateWorkDirectory(path);
    RemoveLeftoverPartials(workDirectory);
    return workDirectory;
}

std::wstring ResolveClientDirectory() {
    return ChooseClientDirectory(ProcessArguments(), ExecutableDirectory(),
                                 JoinPath(MachineProgramFiles(), kDefaultClientFolderName),
                                 [](const std::wstring& path) { return GetFileAttributesW(path.c_str()); });
}

}  // namespace repair
