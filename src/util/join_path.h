#pragma once

#include <optional>
#include <string>

namespace repair {

// Appends a relative path to a directory by PathAppendW's rules, within
// MAX_PATH. Never fails: a join that does not fit leaves whatever the append
// left in the buffer, at most 259 characters.
std::wstring JoinPath(const std::wstring& directory, const std::wstring& relative);

// The same join, or nothing when PathAppendW reports that it failed.
std::optional<std::wstring> TryJoinPath(const std::wstring& directory, const std::wstring& relative);

}  // namespace repair
