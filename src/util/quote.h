#pragma once

#include <string>

namespace repair {

// Wraps one value in double quotes so that a receiver splitting its command
// line by the CommandLineToArgvW rules gets the value back unchanged.
std::wstring Quote(const std::wstring& value);

}  // namespace repair
