#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "util/command_line.h"

namespace repair {

// GetFileAttributesW, or a stand-in for it.
using AttributesOf = std::function<DWORD(const std::wstring& path)>;

// The work directory for what GetEnvironmentVariableW reported for the data
// root: the count it returned and the buffer's text.
std::wstring WorkDirectoryFor(DWORD count, const std::wstring& buffer);

// The client directory from the process's arguments (nullopt when they could
// not be split), the executable's directory and the file system.
std::wstring ChooseClientDirectory(const std::optional<Arguments>& arguments, const std::wstring& executableDirectory,
                                   const AttributesOf& attributesOf);

// The executable's directory: the module path less its last element.
std::wstring ExecutableDirectory();

std::wstring PrepareWorkDirectory();
std::wstring ResolveClientDirectory();

}  // namespace repair
