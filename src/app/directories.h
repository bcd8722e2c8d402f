#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "util/command_line.h"

namespace repair {

// GetFileAttributesW, or a stand-in for it.
using AttributesOf = std::function<DWORD(const std::wstring& path)>;

// The work directory under the data root; the one under ProgramData on the
// system drive when the root is unknown (empty) or leaves no room for the
// folder within MAX_PATH.
std::wstring WorkDirectoryFor(const std::wstring& dataRoot, const std::wstring& systemDrive);

// The ProgramData known folder, or empty when it cannot be had.
std::wstring KnownDataRoot();

// The client directory from the process's arguments (nullopt when they could
// not be split), the executable's directory, the default client folder (in
// the machine's Program Files) and the file system.
std::wstring ChooseClientDirectory(const std::optional<Arguments>& arguments, const std::wstring& executableDirectory,
                                   const std::wstring& defaultClientDirectory, const AttributesOf& attributesOf);

// The executable's directory: the module path less its last element.
std::wstring ExecutableDirectory();

std::wstring PrepareWorkDirectory();
// Secures the work directory at path (or a fresh one beside it) and sweeps
// partial downloads that earlier runs gave up; returns where downloads go,
// empty when no folder could be had.
std::wstring PrepareWorkDirectoryAt(const std::wstring& path);
std::wstring ResolveClientDirectory();

}  // namespace repair
