#include "net/download.h"

#include <urlmon.h>
#include <wininet.h>

#include <wchar.h>

#include <iterator>
#include <memory>
#include <optional>

#include "net/download_callback.h"
#include "net/transfer_state.h"
#include "util/busy_retry.h"
#include "util/constants.h"
#include "util/join_path.h"
#include "util/message_pump.h"
#include "util/scoped.h"
#include "util/system_library.h"

namespace repair {
namespace {

// How often the waiting thread shows what arrived and looks at the clock.
constexpr DWORD kWatchIntervalMs = 100;
// The most one look of the watch counts as silence, however late it comes.
constexpr DWORD kMaxSilenceSliceMs = 1000;
constexpr wchar_t kPartialPrefix[] = L"dl";
constexpr wchar_t kPartialSuffix[] = L".tmp";
constexpr wchar_t kPartialPattern[] = L"dl*.tmp";  // what GetTempFileNameW makes of the prefix

using UrlDownloadFn = decltype(&::URLDownloadToFileW);

// One transfer, shared with its thread, which may outlive the wait.
struct Transfer {
    UrlDownloadFn download = nullptr;
    std::wstring url;
    std::wstring partial;
    std::wstring status;
    std::wstring detail;
    TransferState state{GetTickCount64()};
    HRESULT result = E_FAIL;
};

DWORD WINAPI RunTransfer(void* parameter) {
    const std::unique_ptr<std::shared_ptr<Transfer>> owner(static_cast<std::shared_ptr<Transfer>*>(parameter));
    Transfer& transfer = **owner;
    DownloadCallback callback(transfer.status, transfer.detail, transfer.state, &transfer.state);
    transfer.result = transfer.download(nullptr, transfer.url.c_str(), transfer.partial.c_str(), 0, &callback);
    if (transfer.state.Abandoned()) {
        // Nobody will look at this file again.
        DeleteFileW(transfer.partial.c_str());
    }
    return 0;
}

// The size of the file as the file system has it; nullopt when it cannot be read.
std::optional<ULONGLONG> FileSizeOf(const std::wstring& path) {
    const HANDLE opened =
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    const ScopedHandle file(opened);
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file.get(), &size) == FALSE) {
        return std::nullopt;
    }
    return static_cast<ULONGLONG>(size.QuadPart);
}

// The processor time this process has had but for the calling thread, in
// milliseconds: the transfer's work, wherever urlmon runs it (WinINet does
// the connection and the TLS handshake on threads of its own). 0 when
// unknown, which counts as no work at all.
ULONGLONG TransferWorkMs() {
    FILETIME created = {}, ended = {}, kernel = {}, user = {};
    const auto ms = [&] {
        return (((static_cast<ULONGLONG>(kernel.dwHighDateTime) << 32) | kernel.dwLowDateTime) +
                ((static_cast<ULONGLONG>(user.dwHighDateTime) << 32) | user.dwLowDateTime)) /
               10000;
    };
    if (GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user) == FALSE) {
        return 0;
    }
    const ULONGLONG process = ms();
    if (GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user) == FALSE) {
        return 0;
    }
    const ULONGLONG watch = ms();
    return process > watch ? process - watch : 0;
}

bool IsDirectory(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Runs the transfer on a thread of its own, so that this thread can keep
// the windows answering and give a silent transfer up: inside
// URLDownloadToFileW nothing of this thread's would run.
bool WatchTransfer(const std::shared_ptr<Transfer>& transfer, ProgressSink& sink, DWORD stallMs) {
    auto* shared = new std::shared_ptr<Transfer>(transfer);
    const ScopedHandle thread(CreateThread(nullptr, 0, RunTransfer, shared, 0, nullptr));
    if (!thread) {
        delete shared;
        return false;
    }
    const HANDLE waitFor = thread.get();
    while (WaitPumping(&waitFor, 1, kWatchIntervalMs) != 0) {
        transfer->state.ReplayInto(sink);
        if (transfer->state.SilentAt(GetTickCount64(), TransferWorkMs(), stallMs, kMaxSilenceSliceMs)) {
            transfer->state.Abandon();
            return false;
        }
    }
    transfer->state.ReplayInto(sink);
    return SUCCEEDED(transfer->result);
}

bool IsWholeFile(const Transfer& transfer) {
    const std::optional<ULONGLONG> size = FileSizeOf(transfer.partial);
    return size && transfer.state.IsWhole(*size);
}

// The name a download is written under before it replaces the file at path:
// a new, empty file of a unique name beside it, which takes the folder's
// inherited security. Empty when none could be made.
std::wstring CreatePartialFile(const std::wstring& path) {
    const std::wstring::size_type slash = path.find_last_of(L'\\');
    const std::wstring directory = slash == std::wstring::npos ? L"." : path.substr(0, slash);
    wchar_t name[MAX_PATH] = {};
    if (GetTempFileNameW(directory.c_str(), kPartialPrefix, 0, name) == 0) {
        return {};
    }
    return name;
}

bool IsHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

}  // namespace

bool IsDownloadFileName(const std::wstring& name) {
    for (const wchar_t* download : {kInstallerFileX64, kInstallerFileX86, kToolFileX64, kToolFileX86}) {
        if (_wcsicmp(name.c_str(), download) == 0) {
            return true;
        }
    }
    return false;
}

bool IsPartialDownloadName(const std::wstring& name) {
    constexpr std::size_t kPrefix = std::size(kPartialPrefix) - 1;
    constexpr std::size_t kSuffix = std::size(kPartialSuffix) - 1;
    if (name.size() < kPrefix + 1 + kSuffix || name.size() > kPrefix + 4 + kSuffix ||
        _wcsnicmp(name.c_str(), kPartialPrefix, kPrefix) != 0 ||
        _wcsicmp(name.c_str() + name.size() - kSuffix, kPartialSuffix) != 0) {
        return false;
    }
    for (std::size_t i = kPrefix; i < name.size() - kSuffix; ++i) {
        if (!IsHexDigit(name[i])) {
            return false;
        }
    }
    return true;
}

void RemoveLeftoverPartials(const std::wstring& directory) {
    if (!IsFullyQualifiedPath(directory)) {
        return;  // an empty folder name would sweep the current drive's root
    }
    WIN32_FIND_DATAW data = {};
    const ScopedFindHandle search(FindFirstFileW((directory + L"\\" + kPartialPattern).c_str(), &data));
    if (!search) {
        return;
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsPartialDownloadName(data.cFileName)) {
            DeleteFileW((directory + L"\\" + data.cFileName).c_str());
        }
    } while (FindNextFileW(search.get(), &data) != FALSE);
}

bool DownloadFile(const wchar_t* url, const std::wstring& path, const std::wstring& status, const std::wstring& detail,
                  ProgressSink& sink, DWORD stallMs) {
    // A copy cached by an earlier run must not stand in for the current file.
    if (const auto deleteCacheEntry = REPAIR_SYSTEM_FUNCTION(kWininetDll, DeleteUrlCacheEntryW)) {
        deleteCacheEntry(url);
    }
    sink.SetStatus(status, detail);
    sink.SetProgress(0, false);
    // Resolved here, on this thread: the transfer's thread only calls it.
    const UrlDownloadFn download = REPAIR_SYSTEM_FUNCTION(kUrlmonDll, URLDownloadToFileW);
    // A path relative to the current directory (a download folder that
    // could not be had joins to a bare name) would land wherever the
    // program was started from, a folder the user may write.
    if (download == nullptr || !IsFullyQualifiedPath(path) || IsDirectory(GetFileAttributesW(path.c_str()))) {
        return false;
    }

    // Written under a name of its own and moved into place only when whole:
    // a failed or abandoned transfer never leaves a partial file under the
    // name that is run, and a copy of that name held open by a scanner or a
    // program that has just ended cannot make the transfer write nowhere.
    auto transfer = std::make_shared<Transfer>();
    transfer->download = download;
    transfer->url = url;
    transfer->partial = CreatePartialFile(path);
    transfer->status = status;
    transfer->detail = detail;
    if (transfer->partial.empty()) {
        return false;
    }
    // urlmon reports success for a file that a full disk cut short: only
    // the length the server announced tells it from a whole one.
    if (!WatchTransfer(transfer, sink, stallMs) || !IsWholeFile(*transfer)) {
        DeleteFileW(transfer->partial.c_str());
        return false;
    }
    const DWORD placed = RetryWhileBusy([&] {
        return MoveFileExW(transfer->partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE
                   ? ERROR_SUCCESS
                   : GetLastError();
    });
    if (placed != ERROR_SUCCESS) {
        DeleteFileW(transfer->partial.c_str());
        return false;
    }
    return (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace repair
