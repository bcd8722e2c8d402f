#pragma once

#include <string>

#include "net/progress_sink.h"

namespace repair {

// Fetches url into path while the sink shows progress. True when the transfer
// reported success and a file (not a directory) stands at path afterwards.
bool DownloadFile(const wchar_t* url, const std::wstring& path, const std::wstring& status, const std::wstring& detail,
                  ProgressSink& sink = WindowProgressSink());

}  // namespace repair
