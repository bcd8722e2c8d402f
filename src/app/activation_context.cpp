#include "app/activation_context.h"

#include <windows.h>

#include "app/directories.h"

namespace repair {
namespace {

// One spelling for comparing: no long-path prefix, backslashes only, no
// trailing separator.
std::wstring Comparable(std::wstring path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) {
        path.erase(0, 4);
    }
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
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
    if (IsInsideFolder(folder, report->configurationPath)) {
        return false;
    }
    for (std::size_t i = 1; i < report->assemblies.size(); ++i) {
        const AssemblyOrigin& origin = report->assemblies[i];
        if (IsInsideFolder(folder, origin.manifestPath) || IsInsideFolder(folder, origin.policyPath)) {
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
                                     Text(info->lpAssemblyPolicyPath, info->ulPolicyPathLength)});
    }
    return report;
}

}  // namespace repair
