#pragma once

#include <windows.h>
#include <sddl.h>

#include "util/sid.h"

// SIDs as the owners that the fakes report.
inline repair::SidBytes SidOf(WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(buffer);
    CreateWellKnownSid(type, nullptr, buffer, &size);
    return repair::SidBytes(buffer, buffer + size);
}

inline repair::SidBytes SidOf(const wchar_t* text) {
    PSID sid = nullptr;
    ConvertStringSidToSidW(text, &sid);
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    repair::SidBytes out(bytes, bytes + GetLengthSid(sid));
    LocalFree(sid);
    return out;
}

// The owner a genuine run's objects have.
inline const repair::SidBytes kAdministrators = SidOf(WinBuiltinAdministratorsSid);
