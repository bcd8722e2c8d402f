#pragma once

#include <optional>
#include <string>
#include <vector>

namespace repair {

using Arguments = std::vector<std::wstring>;

// Splits a command line by CommandLineToArgvW; nullopt when the split fails.
std::optional<Arguments> SplitCommandLine(const wchar_t* commandLine);

// The process's own arguments, index 0 being the program's path.
std::optional<Arguments> ProcessArguments();

// GetModuleFileNameW of the executable in a zero-filled MAX_PATH buffer.
std::wstring ModulePath();

}  // namespace repair
