#include "util/join_path.h"

#include <windows.h>
#include <shlwapi.h>

namespace repair {

std::wstring JoinPath(const std::wstring& directory, const std::wstring& relative) {
    wchar_t buffer[MAX_PATH] = {};
    lstrcpynW(buffer, directory.c_str(), MAX_PATH);
    PathAppendW(buffer, relative.c_str());
    return buffer;
}

}  // namespace repair
