#include "process/child_temp_folder.h"

#include <windows.h>

#include "util/constants.h"
#include "util/join_path.h"
#include "util/scoped.h"

namespace repair {
namespace {

// Looked at through a handle that does not follow a link.
bool IsRealFolder(const std::wstring& path) {
    const HANDLE handle =
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    const ScopedHandle opened(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
    BY_HANDLE_FILE_INFORMATION info = {};
    return opened && GetFileInformationByHandle(opened.get(), &info) != FALSE &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

std::wstring ChildTempFolder(const std::wstring& directory) {
    const std::optional<std::wstring> path = TryJoinPath(directory, kChildTempFolderName);
    if (directory.empty() || !path) {
        return {};
    }
    // No descriptor of its own: it inherits the work folder's.
    if (CreateDirectoryW(path->c_str(), nullptr) == FALSE &&
        (GetLastError() != ERROR_ALREADY_EXISTS || !IsRealFolder(*path))) {
        return {};
    }
    return *path;
}

}  // namespace repair
