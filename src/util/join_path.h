#pragma once

#include <optional>
#include <string>

namespace repair {

// Appends a relative path to a directory by PathAppendW's rules, within
// MAX_PATH. Never fails: a join that does not fit leaves whatever the append
// left in the buffer, at most 259 characters.
std::wstring JoinPath(const std::wstring& directory, const std::wstring& relative);

// Whether path names its drive or share and starts at its root ("C:\\x",
// "\\\\server\\x"): nothing about it depends on the current directory or drive.
bool IsFullyQualifiedPath(const std::wstring& path);

// The same join, or nothing when PathAppendW reports that it failed.
std::optional<std::wstring> TryJoinPath(const std::wstring& directory, const std::wstring& relative);

}  // namespace repair
