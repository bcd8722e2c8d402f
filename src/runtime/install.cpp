#include "runtime/install.h"

#include <cstdint>

#include "util/constants.h"
#include "util/download_urls.h"
#include "util/join_path.h"
#include "util/publishers.h"

namespace repair {

std::wstring InstallFailedText(int exitCode) {
    // Unsigned, so a failed start reads 4294967295 and no minus sign appears.
    return kRuntimeInstallFailedPrefix + std::to_wstring(static_cast<std::uint32_t>(exitCode));
}

bool InstallDesktopRuntime(const std::wstring& workDirectory, StageServices& services) {
    const bool is64 = services.Is64BitWindows();
    const std::wstring target = JoinPath(workDirectory, is64 ? kInstallerFileX64 : kInstallerFileX86);
    // The pinned file whatever its signature says (Microsoft's signing
    // certificates expire within the build's life, and its signer's name is
    // not one Microsoft promises); unpinned, a signature through Microsoft's roots.
    Requirement required;
    required.sha512 = is64 ? kRuntimeSha512X64 : kRuntimeSha512X86;
    required.roots = kRuntimeRoots;
    if (!FetchTrusted(services, is64 ? kInstallerUrlX64 : kInstallerUrlX86, target, kRuntimeDownloadStatus,
                      kRuntimeDownloadDetail, required)) {
        services.ShowWarning(kRuntimeDownloadFailedText);
        return false;
    }
    services.SetStatus(kRuntimeInstallStatus, kRuntimeInstallDetail);
    services.SetProgress(0, true);

    const int exitCode = services.RunAndWait(target, kInstallerArguments, true);
    if (exitCode == 0 || exitCode == kInstallerRebootRequired) {
        return true;
    }
    services.ShowWarning(InstallFailedText(exitCode));
    return false;
}

}  // namespace repair
