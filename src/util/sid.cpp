#include "util/sid.h"

#include "util/scoped.h"

namespace repair {

SidBytes SidBytesOf(PSID sid) {
    if (sid == nullptr || IsValidSid(sid) == FALSE) {
        return {};
    }
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return SidBytes(bytes, bytes + GetLengthSid(sid));
}

bool SameSid(const SidBytes& sid, PSID other) {
    return !sid.empty() && other != nullptr && IsValidSid(const_cast<BYTE*>(sid.data())) != FALSE &&
           EqualSid(const_cast<BYTE*>(sid.data()), other) != FALSE;
}

bool IsWellKnownSid(const SidBytes& sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(buffer);
    return CreateWellKnownSid(type, nullptr, buffer, &size) != FALSE && SameSid(sid, buffer);
}

SidBytes OwnerOf(HANDLE object, SE_OBJECT_TYPE type) {
    PSID owner = nullptr;
    ScopedLocalMemory descriptor;
    if (object == nullptr ||
        GetSecurityInfo(object, type, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive())) != ERROR_SUCCESS) {
        return {};
    }
    return SidBytesOf(owner);
}

}  // namespace repair
