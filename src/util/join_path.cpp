#include "util/join_path.h"

#include <windows.h>
#include <shlwapi.h>

namespace repair {

std::optional<std::wstring> TryJoinPath(const std::wstring& directory, const std::wstring& relative) {
    wchar_t buffer[MAX_PATH] = {};
    lstrcpynW(buffer, directory.c_str(), MAX_PATH);
    const bool joined = PathAppendW(buffer, relative.c_str()) != FALSE;
    if (!joined) {
        return std::nullopt;
    }
    return std::wstring(buffer);
}

bool IsFullyQualifiedPath(const std::wstring& path) {
    const bool driveRoot = path.size() >= 3 &&
                           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                           path[1] == L':' && path[2] == L'\\';
    return driveRoot || path.rfind(L"\\\\", 0) == 0;
}

std::wstring JoinPath(const std::wstring& directory, const std::wstring& relative) {
    wchar_t buffer[MAX_PATH] = {};
    lstrcpynW(buffer, directory.c_str(), MAX_PATH);
    PathAppendW(buffer, relative.c_str());
    return buffer;
}

}  // namespace repair
