#pragma once

#include <windows.h>

#include <string>

namespace repair {

// The SHA-512 of everything the open file holds, read through the handle
// from its first byte, as 128 lower-case hex digits; empty when it cannot be
// read or hashed. The handle is left at the file's first byte.
std::wstring Sha512Hex(HANDLE file);

// Whether a computed digest is the pinned one: both exactly 128 hex digits,
// equal but for letter case. An empty or malformed digest matches nothing.
bool SameDigest(const std::wstring& actual, const std::wstring& pinned);

}  // namespace repair
