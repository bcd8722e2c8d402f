#include "runtime/detection.h"

#include "util/constants.h"
#include "util/architecture.h"
#include "util/join_path.h"
#include "util/machine_folders.h"
#include "util/scoped.h"

namespace repair {
namespace {

constexpr DWORD kRegistryNameLength = 256;

bool NamesVersion8(const std::wstring& name) {
    return name.size() >= 2 && name[0] == L'8' && name[1] == L'.';
}

bool HasVersion8Directory(RuntimeProbe& probe, const std::wstring& candidate) {
    const DWORD attributes = probe.AttributesOf(candidate);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return false;
    }
    for (const DWORD entry : probe.FindEntries(JoinPath(candidate, kRuntimeVersionPattern))) {
        if ((entry & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return true;
        }
    }
    return false;
}

bool KeyNamesVersion8(RuntimeProbe& probe, const wchar_t* key, REGSAM view) {
    const std::optional<RegistryNames> names = probe.ReadKeyNames(key, KEY_READ | view);
    if (!names) {
        return false;
    }
    for (const auto* list : {&names->subkeys, &names->values}) {
        for (const std::wstring& name : *list) {
            if (NamesVersion8(name)) {
                return true;
            }
        }
    }
    return false;
}

bool RegistryHasVersion8(RuntimeProbe& probe, bool is64) {
    if (!is64) {
        return KeyNamesVersion8(probe, kRuntimeKeyX86, KEY_WOW64_32KEY);
    }
    // Microsoft's installers record every architecture in the 32-bit view
    // (Wow6432Node), which the .NET host itself reads; the 64-bit view is
    // kept for what recorded it there.
    return KeyNamesVersion8(probe, kRuntimeKeyX64, KEY_WOW64_64KEY) ||
           KeyNamesVersion8(probe, kRuntimeKeyX64, KEY_WOW64_32KEY);
}

class Win32Probe final : public RuntimeProbe {
public:
    WindowsKind Kind() override { return CurrentWindowsKind(); }

    std::wstring ReadMachineString(const wchar_t* key, const wchar_t* value, REGSAM view) override {
        return repair::ReadMachineString(key, value, view);
    }
    std::wstring SystemDrive() override { return repair::SystemDrive(); }

    DWORD AttributesOf(const std::wstring& path) override { return GetFileAttributesW(path.c_str()); }

    std::vector<DWORD> FindEntries(const std::wstring& pattern) override {
        std::vector<DWORD> entries;
        WIN32_FIND_DATAW data = {};
        const ScopedFindHandle search(FindFirstFileW(pattern.c_str(), &data));
        if (!search) {
            return entries;
        }
        do {
            entries.push_back(data.dwFileAttributes);
            data = {};
        } while (FindNextFileW(search.get(), &data) != FALSE);
        return entries;
    }

    std::optional<RegistryNames> ReadKeyNames(const wchar_t* key, REGSAM access) override {
        ScopedRegistryKey opened;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, access, opened.receive()) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        RegistryNames names;
        wchar_t name[kRegistryNameLength] = {};
        DWORD length = kRegistryNameLength;
        for (DWORD index = 0;
             RegEnumKeyExW(opened.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++index, length = kRegistryNameLength) {
            names.subkeys.emplace_back(name, length);
        }
        length = kRegistryNameLength;
        for (DWORD index = 0;
             RegEnumValueW(opened.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++index, length = kRegistryNameLength) {
            names.values.emplace_back(name, length);
        }
        return names;
    }
};

}  // namespace

std::vector<std::wstring> RuntimeCandidates(RuntimeProbe& probe, WindowsKind kind) {
    const bool is64 = kind != WindowsKind::kX86;
    const bool onArm64 = kind == WindowsKind::kX64OnArm64;
    std::vector<std::wstring> candidates;
    // Never the ProgramW6432 or ProgramFiles variables: the user's own
    // registry can set them, and a runtime "found" where there is none would
    // skip the installer.
    const std::wstring root =
        probe.ReadMachineString(kProgramFilesKey, kProgramFilesValue, is64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
    if (!root.empty()) {
        candidates.push_back(JoinPath(root, onArm64 ? kSharedFrameworkRelativeX64OnArm64 : kSharedFrameworkRelative));
    }
    // Where Microsoft's x64 installer puts the runtime, on the system drive
    // (C: only where Windows is: elsewhere any user may make folders there).
    if (is64) {
        candidates.push_back(JoinPath(ProgramFilesOn({}, probe.SystemDrive()),
                                      onArm64 ? kSharedFrameworkRelativeX64OnArm64 : kSharedFrameworkRelative));
    }
    return candidates;
}

bool DetectDesktopRuntime(RuntimeProbe& probe) {
    // Asked once here and used for both probes: the folder and the key
    // must be of the same runtime.
    const WindowsKind kind = probe.Kind();
    for (const std::wstring& candidate : RuntimeCandidates(probe, kind)) {
        if (HasVersion8Directory(probe, candidate)) {
            return true;
        }
    }
    // The x64 installer writes the x64 key on ARM64 too.
    return RegistryHasVersion8(probe, kind != WindowsKind::kX86);
}

RuntimeProbe& Win32RuntimeProbe() {
    static Win32Probe probe;
    return probe;
}

bool IsDesktopRuntimeInstalled() {
    return DetectDesktopRuntime(Win32RuntimeProbe());
}

}  // namespace repair
