#include "util/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "util/scoped.h"

namespace repair {

std::optional<Arguments> SplitCommandLine(const wchar_t* commandLine) {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine, &count);
    if (argv == nullptr) {
        return std::nullopt;
    }
    const ScopedLocalMemory release(reinterpret_cast<HLOCAL>(argv));
    return Arguments(argv, argv + count);
}

std::optional<Arguments> ProcessArguments() {
    return SplitCommandLine(GetCommandLineW());
}

std::wstring ModulePath() {
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return buffer;
}

}  // namespace repair
