#pragma once

#include <string>

#include "util/stage_services.h"

namespace repair {

// The text shown when the installer ends with an unaccepted code.
std::wstring InstallFailedText(int exitCode);

// Downloads and silently runs the runtime installer. False after a failure
// that has been shown to the user.
bool InstallDesktopRuntime(const std::wstring& workDirectory, StageServices& services);

}  // namespace repair
