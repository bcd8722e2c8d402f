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

std::wstring JoinPath(const std::wstring& directory, const std::wstring& relative) {
    wchar_t buffer[MAX_PATH] = {};
    lstrcpynW(buffer, directory.c_str(), MAX_PATH);
    PathAppendW(buffer, relative.c_str());
    return buffer;
}

}  // namespace repair
