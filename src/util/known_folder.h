#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace repair {

// A known folder's path as the shell reports it; empty when it cannot say.
std::wstring KnownFolderPath(REFKNOWNFOLDERID id);

}  // namespace repair
