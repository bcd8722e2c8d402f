#include "process/run_and_wait.h"

#include <vector>

#include "process/child_environment.h"
#include "util/busy_retry.h"
#include "util/message_pump.h"
#include "util/quote.h"
#include "util/scoped.h"

namespace repair {

std::wstring ChildCommandLine(const std::wstring& path, const std::wstring& args) {
    std::wstring commandLine = Quote(path);
    if (!args.empty()) {
        commandLine += L' ';
        commandLine += args;
    }
    return commandLine;
}

std::wstring ChildDirectory(const std::wstring& path) {
    const std::wstring::size_type slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) {
        return {};
    }
    // "C:" alone would mean the drive's current directory, not its root.
    return path.substr(0, slash == 2 && path[1] == L':' ? slash + 1 : slash);
}

namespace {

// Looked at through a handle that does not follow a link: a link or a
// junction could lead anywhere.
bool IsRealFolder(const std::wstring& path) {
    if (path.empty()) {
        return false;
    }
    const HANDLE handle =
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    const ScopedHandle opened(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
    BY_HANDLE_FILE_INFORMATION info = {};
    return opened && GetFileInformationByHandle(opened.get(), &info) != FALSE &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

STARTUPINFOW ChildStartupInfo(bool showNormal) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (showNormal) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
    }
    return startup;
}

int RunAndWait(const std::wstring& path, const std::wstring& args, bool showNormal, const std::wstring& tempFolder,
               const std::function<void()>& started) {
    const std::wstring commandLine = ChildCommandLine(path, args);
    // CreateProcessW may write into the command line it is given.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    // Windows refuses a directory as "access denied", which is no busy file.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return -1;
    }
    // Both children run as administrator: neither may see what the user's
    // own session put in this process's environment, nor start wherever the
    // program happened to be started from (a downloads folder).
    const std::wstring& directory = tempFolder;
    std::optional<std::wstring> environment =
        IsRealFolder(tempFolder) ? ChildEnvironment(Win32EnvironmentShell(), tempFolder) : std::nullopt;
    if (!environment) {
        if (started) {
            started();
        }
        return -1;
    }
    const STARTUPINFOW startupTemplate = ChildStartupInfo(showNormal);
    PROCESS_INFORMATION info = {};
    // A scanner may still hold the file it has just seen written, and a
    // loaded machine may fail a start for the moment.
    const DWORD created = RetryWhileBusy(
        [&] {
            STARTUPINFOW startup = startupTemplate;
            info = {};
            return CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                                  environment->data(), directory.c_str(), &startup, &info) != 0
                       ? ERROR_SUCCESS
                       : GetLastError();
        },
        PumpingRetryClock(), IsTransientStartError);
    if (started) {
        started();
    }
    if (created != ERROR_SUCCESS) {
        return -1;
    }
    const ScopedHandle process(info.hProcess);
    const ScopedHandle thread(info.hThread);

    // The installer can take minutes: the window must keep answering meanwhile.
    // Never before it has ended: an exit code read early is STILL_ACTIVE.
    WaitUntilSignalled(process.get());
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    return static_cast<int>(exitCode);
}

}  // namespace repair
