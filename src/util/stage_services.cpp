#include "util/stage_services.h"

namespace repair {

bool FetchTrusted(StageServices& services, const wchar_t* url, const std::wstring& target, const std::wstring& status,
                  const std::wstring& detail, const std::wstring& publisher, const std::wstring& sha512) {
    if (!services.DownloadFile(url, target, status, detail)) {
        return false;
    }
    // The pin first: a build known in advance is refused whoever signed a
    // substitute (an older, vulnerable one, or any other signed program).
    if ((sha512.empty() || services.HasDigest(target, sha512)) &&
        (publisher.empty() || services.IsSignedBy(target, publisher))) {
        return true;
    }
    // Whoever handed this over is not who must have made it: leave nothing
    // that a later start could run.
    services.DeleteDownload(target);
    return false;
}

}  // namespace repair
