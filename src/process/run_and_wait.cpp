#include "process/run_and_wait.h"

#include <vector>

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

STARTUPINFOW ChildStartupInfo(bool showNormal) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (showNormal) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
    }
    return startup;
}

int RunAndWait(const std::wstring& path, const std::wstring& args, bool showNormal) {
    const std::wstring commandLine = ChildCommandLine(path, args);
    // CreateProcessW may write into the command line it is given.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup = ChildStartupInfo(showNormal);
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info) == 0) {
        return -1;
    }
    const ScopedHandle process(info.hProcess);
    const ScopedHandle thread(info.hThread);

    WaitForSingleObject(process.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    return static_cast<int>(exitCode);
}

}  // namespace repair
