#include "util/machine_folders.h"

#include "util/constants.h"
#include "util/join_path.h"
#include "util/scoped.h"

namespace repair {

std::wstring SystemDriveOf(const std::wstring& windowsFolder) {
    const bool lettered = windowsFolder.size() >= 3 && windowsFolder[1] == L':' && windowsFolder[2] == L'\\' &&
                          ((windowsFolder[0] >= L'A' && windowsFolder[0] <= L'Z') ||
                           (windowsFolder[0] >= L'a' && windowsFolder[0] <= L'z'));
    return lettered ? windowsFolder.substr(0, 2) : kDefaultSystemDrive;
}

std::wstring SystemDrive() {
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(buffer, MAX_PATH);
    return SystemDriveOf(length > 0 && length < MAX_PATH ? buffer : L"");
}

std::wstring ReadMachineString(const wchar_t* key, const wchar_t* value, REGSAM view) {
    ScopedRegistryKey opened;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | view, opened.receive()) != ERROR_SUCCESS) {
        return {};
    }
    wchar_t buffer[MAX_PATH] = {};
    DWORD type = REG_NONE;
    // One character short of the buffer, so the text always ends in NUL.
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    if (RegQueryValueExW(opened.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return buffer;
}

std::wstring ProgramFilesOn(const std::wstring& machineValue, const std::wstring& systemDrive) {
    if (!machineValue.empty()) {
        return machineValue;
    }
    return systemDrive + L"\\" + kProgramFilesFolderName;
}

std::wstring MachineProgramFiles() {
    return ProgramFilesOn(ReadMachineString(kProgramFilesKey, kProgramFilesValue, KEY_WOW64_64KEY), SystemDrive());
}

}  // namespace repair
