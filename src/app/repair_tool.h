#pragma once

#include <string>

#include "app/exit_code.h"
#include "app/win32_stage_services.h"

namespace repair {

// Downloads the repair tool for this architecture, runs it on the client
// directory and waits: 0 once it has run, 2 when it could not be fetched or started.
ExitCode LaunchRepairTool(const std::wstring& workDirectory, const std::wstring& clientDirectory,
                          StageServices& services = Win32StageServices());

}  // namespace repair
