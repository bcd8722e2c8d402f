#include "net/download.h"

#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include "net/download_callback.h"

namespace repair {

bool DownloadFile(const wchar_t* url, const std::wstring& path, const std::wstring& status, const std::wstring& detail,
                  ProgressSink& sink) {
    // A copy cached by an earlier run must not stand in for the current file.
    DeleteUrlCacheEntryW(url);
    DownloadCallback callback(status, detail, sink);
    sink.SetStatus(status, detail);
    sink.SetProgress(0, false);
    const HRESULT result = URLDownloadToFileW(nullptr, url, path.c_str(), 0, &callback);
    if (FAILED(result)) {
        return false;
    }
    return (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace repair
