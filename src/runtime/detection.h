#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "util/architecture.h"

namespace repair {

struct RegistryNames {
    std::vector<std::wstring> subkeys;
    std::vector<std::wstring> values;
};

// The system as the runtime detection sees it; faked in tests so that both
// architectures can be exercised on one machine.
class RuntimeProbe {
public:
    virtual ~RuntimeProbe() = default;
    virtual WindowsKind Kind() = 0;
    // A REG_SZ value under an HKEY_LOCAL_MACHINE key in one registry view;
    // empty when it is missing, of another type or too long for a path.
    virtual std::wstring ReadMachineString(const wchar_t* key, const wchar_t* value, REGSAM view) = 0;
    // The drive Windows lives on ("C:").
    virtual std::wstring SystemDrive() = 0;
    virtual DWORD AttributesOf(const std::wstring& path) = 0;
    // Attribute words of the entries matching a pattern; empty when the search fails.
    virtual std::vector<DWORD> FindEntries(const std::wstring& pattern) = 0;
    // Names under an HKEY_LOCAL_MACHINE key, enumerated until the first error;
    // nullopt when the key cannot be opened.
    virtual std::optional<RegistryNames> ReadKeyNames(const wchar_t* key, REGSAM access) = 0;
};

// Shared-framework directories to search, in order.
std::vector<std::wstring> RuntimeCandidates(RuntimeProbe& probe, WindowsKind kind);

bool DetectDesktopRuntime(RuntimeProbe& probe);

// The probe over the real environment, file system and registry.
RuntimeProbe& Win32RuntimeProbe();

// True when a .NET Desktop Runtime 8.x is installed.
bool IsDesktopRuntimeInstalled();

}  // namespace repair
