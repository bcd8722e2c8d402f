#include "app/activation_context.h"

#include <windows.h>

#include "app/directories.h"
#include "util/command_line.h"
#include "util/constants.h"
#include "util/join_path.h"
#include "util/scoped.h"

namespace repair {
namespace {

bool StartsWith(const std::wstring& path, const wchar_t* prefix) {
    const std::size_t length = wcslen(prefix);
    return path.size() >= length && CompareStringOrdinal(path.c_str(), static_cast<int>(length), prefix,
                                                         static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// One spelling for comparing: backslashes only, no long-path or NT prefix
// (a share's in its plain \\server\share form), no trailing separator.
std::wstring Comparable(std::wstring path) {
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    if (StartsWith(path, L"\\\\?\\UNC\\") || StartsWith(path, L"\\??\\UNC\\")) {
        path.replace(0, 8, L"\\\\");
    } else if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\??\\")) {
        path.erase(0, 4);
    }
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

// A counted string of the answer, which may or may not count its terminator.
std::wstring Text(PCWSTR text, std::size_t bytes) {
    return text == nullptr ? std::wstring() : std::wstring(text, wcsnlen(text, bytes / sizeof(wchar_t)));
}

// One QueryActCtxW answer of the default context, in a buffer aligned for
// the record it holds; nullopt when the query fails.
std::optional<std::vector<ULONGLONG>> Query(ULONG what, DWORD* index) {
    SIZE_T needed = 0;
    if (QueryActCtxW(0, nullptr, index, what, nullptr, 0, &needed) == FALSE &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::nullopt;
    }
    if (needed == 0) {
        return std::nullopt;
    }
    std::vector<ULONGLONG> buffer((needed + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG));
    if (QueryActCtxW(0, nullptr, index, what, buffer.data(), buffer.size() * sizeof(ULONGLONG), &needed) == FALSE) {
        return std::nullopt;
    }
    return buffer;
}

// Whether two paths name one file, however each is spelt (a short name, a
// prefix): by the volume and the file's index.
bool SameFile(const std::wstring& a, const std::wstring& b) {
    const auto identity = [](const std::wstring& path) -> std::optional<std::pair<DWORD, ULONGLONG>> {
        const HANDLE opened = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        const ScopedHandle file(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
        BY_HANDLE_FILE_INFORMATION info = {};
        if (!file || GetFileInformationByHandle(file.get(), &info) == FALSE) {
            return std::nullopt;
        }
        return std::make_pair(info.dwVolumeSerialNumber,
                              (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
    };
    const auto left = identity(a);
    return left && left == identity(b);
}

}  // namespace

bool IsInsideFolder(const std::wstring& folder, const std::wstring& path) {
    const std::wstring outer = Comparable(folder);
    const std::wstring inner = Comparable(path);
    if (outer.empty() || inner.size() < outer.size()) {
        return false;
    }
    if (inner.size() > outer.size() && inner[outer.size()] != L'\\') {
        return false;
    }
    return CompareStringOrdinal(outer.c_str(), static_cast<int>(outer.size()), inner.c_str(),
                                static_cast<int>(outer.size()), TRUE) == CSTR_EQUAL;
}

bool AssembliesComeFromTheSystem(const std::optional<ActivationContextReport>& report) {
    if (!report || report->assemblies.empty() || Comparable(report->appDirectory).empty()) {
        return false;
    }
    const std::wstring& folder = report->appDirectory;
    // Nothing but the program's own, from its folder or below; the store is
    // the system's wherever the program lies.
    const auto fromTheFolder = [&](const std::wstring& path) {
        return IsInsideFolder(folder, path) && !IsInsideFolder(report->systemStore, path);
    };
    const auto isPath = [](const std::wstring& name) { return name.find_first_of(L"\\/:") != std::wstring::npos; };
    if (fromTheFolder(report->configurationPath)) {
        return false;
    }
    const std::wstring own = Comparable(report->programPath);
    for (const AssemblyOrigin& origin : report->assemblies) {
        const std::wstring manifest = Comparable(origin.manifestPath);
        if (!own.empty() && CompareStringOrdinal(manifest.c_str(), static_cast<int>(manifest.size()), own.c_str(),
                                                 static_cast<int>(own.size()), TRUE) == CSTR_EQUAL) {
            continue;
        }
        if (fromTheFolder(origin.manifestPath) || fromTheFolder(origin.policyPath) ||
            (isPath(origin.directoryName) && fromTheFolder(origin.directoryName))) {
            return false;
        }
    }
    return true;
}

std::optional<ActivationContextReport> QueryProcessActivationContext() {
    const std::optional<std::vector<ULONGLONG>> context = Query(ActivationContextDetailedInformation, nullptr);
    if (!context) {
        return std::nullopt;
    }
    const auto* detail = reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(context->data());
    ActivationContextReport report;
    report.appDirectory = Text(detail->lpAppDirPath, detail->ulAppDirPathChars * sizeof(wchar_t));
    if (Comparable(report.appDirectory).empty()) {
        // Private assemblies are looked for beside the program all the same.
        report.appDirectory = ExecutableDirectory();
    }
    report.configurationPath =
        Text(detail->lpRootConfigurationPath, detail->ulRootConfigurationPathChars * sizeof(wchar_t));
    for (DWORD index = 1; index <= detail->ulAssemblyCount; ++index) {
        const std::optional<std::vector<ULONGLONG>> assembly =
            Query(AssemblyDetailedInformationInActivationContext, &index);
        if (!assembly) {
            return std::nullopt;
        }
        const auto* info = reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(assembly->data());
        report.assemblies.push_back({Text(info->lpAssemblyManifestPath, info->ulManifestPathLength),
                                     Text(info->lpAssemblyPolicyPath, info->ulPolicyPathLength),
                                     Text(info->lpAssemblyDirectoryName, info->ulAssemblyDirectoryNameLength)});
    }
    // The program's own file as the loader spelt it, so that its manifest is
    // known for the program's whatever the spelling.
    report.programPath = ModulePath();
    for (const AssemblyOrigin& origin : report.assemblies) {
        if (!origin.manifestPath.empty() && SameFile(origin.manifestPath, report.programPath)) {
            report.programPath = origin.manifestPath;
            break;
        }
    }
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        report.systemStore = TryJoinPath(windows, kSideBySideStoreFolder).value_or(L"");
    }
    return report;
}

}  // namespace repair
