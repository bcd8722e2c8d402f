#pragma once

#include <string>

namespace repair {

// The program's one kind of message: a modal warning with the caption, owned
// by the progress window while it exists.
void ShowWarning(const std::wstring& text);

}  // namespace repair
