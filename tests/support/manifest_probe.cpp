// The positive control of the private-assembly test, and a window on what
// the real query reports: a program hardened as the bootstrapper is (its
// own manifest with the same Common Controls dependency, DLL search limited
// to System32) that writes what QueryProcessActivationContext reports, and
// the verdict, to the file named by its argument, then loads comctl32 as
// any window would. A private assembly planted beside it is loaded then,
// and its DLL ends the process; otherwise it exits 0.
#include <windows.h>

#include <sstream>

#include "app/activation_context.h"
#include "files.h"
#include "utf8.h"

int wmain(int argc, wchar_t** argv) {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    const std::optional<repair::ActivationContextReport> report = repair::QueryProcessActivationContext();
    std::ostringstream out;
    out << "queried\t" << report.has_value() << "\n";
    if (report) {
        out << "appdir\t" << ToUtf8(report->appDirectory.c_str()) << "\n";
        out << "config\t" << ToUtf8(report->configurationPath.c_str()) << "\n";
        for (const repair::AssemblyOrigin& origin : report->assemblies) {
            out << "assembly\t" << ToUtf8(origin.manifestPath.c_str()) << "\t" << ToUtf8(origin.policyPath.c_str())
                << "\n";
        }
    }
    out << "verdict\t" << repair::AssembliesComeFromTheSystem(report) << "\n";
    if (argc > 1) {
        WriteTextFile(argv[1], out.str());
    }
    return LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) != nullptr ? 0 : 1;
}
