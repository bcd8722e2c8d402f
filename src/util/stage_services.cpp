#include "util/stage_services.h"

namespace repair {

bool FetchTrusted(StageServices& services, const wchar_t* url, const std::wstring& target, const std::wstring& status,
                  const std::wstring& detail, const Requirement& required) {
    if (!services.DownloadFile(url, target, status, detail)) {
        return false;
    }
    bool accepted = true;
    if (!required.sha512.empty()) {
        accepted = services.HasDigest(target, required.sha512);
    } else if (!required.roots.empty()) {
        accepted = services.IsSignedUnder(target, required.roots);
    } else if (!required.publisher.empty()) {
        accepted = services.IsSignedBy(target, required.publisher);
    }
    if (!accepted) {
        // Whoever handed this over is not who must have made it: leave
        // nothing that a later start could run.
        services.DeleteDownload(target);
    }
    return accepted;
}

}  // namespace repair
