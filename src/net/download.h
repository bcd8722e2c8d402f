#pragma once

#include <windows.h>

#include <string>

#include "net/progress_sink.h"

#ifndef REPAIR_STALL_SECONDS
#define REPAIR_STALL_SECONDS 30
#endif

namespace repair {

// A transfer that brings no data for this long is given up: players' networks
// can leave a connection open and silent for an hour.
inline constexpr DWORD kDownloadStallMs = REPAIR_STALL_SECONDS * 1000u;

// Fetches url into path while the sink shows progress; the calling thread's
// windows keep answering meanwhile. True when the transfer reported success,
// its file could be put in place of whatever stood at path, and a file (not
// a directory) stands at path afterwards. After a failure nothing at path
// has changed.
bool DownloadFile(const wchar_t* url, const std::wstring& path, const std::wstring& status, const std::wstring& detail,
                  ProgressSink& sink = WindowProgressSink(), DWORD stallMs = kDownloadStallMs);

// Whether name (letter case ignored) is one of the four files this program
// downloads, or a partial download as GetTempFileNameW names them: the
// prefix "dl", one to four hex digits, ".tmp".
bool IsDownloadFileName(const std::wstring& name);
bool IsPartialDownloadName(const std::wstring& name);

// Deletes the partial files that transfers given up by earlier runs left in
// a download folder: the process that abandoned them ended before they did.
void RemoveLeftoverPartials(const std::wstring& directory);

}  // namespace repair
