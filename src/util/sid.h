#pragma once

#include <windows.h>
#include <aclapi.h>

#include <vector>

namespace repair {

// A security identifier held by value.
using SidBytes = std::vector<BYTE>;

// A copy of a SID; empty when sid is null or not valid.
SidBytes SidBytesOf(PSID sid);

// Whether sid is a valid SID equal to other.
bool SameSid(const SidBytes& sid, PSID other);

// Whether sid is the well-known SID of this type (Administrators, SYSTEM...).
bool IsWellKnownSid(const SidBytes& sid, WELL_KNOWN_SID_TYPE type);

// The owner of an opened object (a file, a mutex) read through its handle,
// which needs READ_CONTROL; empty when it cannot be read.
SidBytes OwnerOf(HANDLE object, SE_OBJECT_TYPE type);

}  // namespace repair
