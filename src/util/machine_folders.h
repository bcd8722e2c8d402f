#pragma once

#include <windows.h>

#include <string>

namespace repair {

// The drive a Windows folder lies on ("D:"); "C:" when it names no drive,
// as every Windows installed on C: would.
std::wstring SystemDriveOf(const std::wstring& windowsFolder);
// The drive this Windows lives on, from GetSystemWindowsDirectoryW.
std::wstring SystemDrive();

// A REG_SZ value under an HKEY_LOCAL_MACHINE key in one registry view;
// empty when it is missing, of another type or too long for a path.
std::wstring ReadMachineString(const wchar_t* key, const wchar_t* value, REGSAM view);

// The machine's 64-bit Program Files folder (32-bit Windows has no other):
// its ProgramFilesDir, else "Program Files" on the system drive. Never C:
// by itself: where Windows lives on another drive, any user may make
// folders at the root of C:.
std::wstring ProgramFilesOn(const std::wstring& machineValue, const std::wstring& systemDrive);
std::wstring MachineProgramFiles();

}  // namespace repair
