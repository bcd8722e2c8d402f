#include "app/repair_tool.h"

#include "util/constants.h"
#include "util/download_urls.h"
#include "util/join_path.h"
#include "util/publishers.h"
#include "util/quote.h"

namespace repair {

ExitCode LaunchRepairTool(const std::wstring& workDirectory, const std::wstring& clientDirectory,
                          StageServices& services) {
    const bool is64 = services.Is64BitWindows();
    const std::wstring target = JoinPath(workDirectory, is64 ? kToolFileX64 : kToolFileX86);
    Requirement required;
    required.publisher = kToolPublisher;
    if (!FetchTrusted(services, is64 ? kToolUrlX64 : kToolUrlX86, target, kToolDownloadStatus, kToolDownloadDetail,
                      required)) {
        services.ShowWarning(kToolDownloadFailedText);
        return kExitToolFailed;
    }
    services.SetStatus(kToolRunningStatus, kToolRunningDetail);
    services.SetProgress(100, false);

    const std::wstring args = kToolArgumentPrefix + Quote(clientDirectory);
    if (services.RunAndWait(target, args, false) == -1) {
        return kExitToolFailed;
    }
    services.CloseProgressWindow();
    return kExitCompleted;
}

}  // namespace repair
