// Stands in for the runtime installer and the repair tool. It records how it
// was started (its whole command line, the arguments as CommandLineToArgvW
// splits them, the start-up flags) and exits with the code that a file named
// after itself with ".cfg" appended asks for. That file lies in the folder
// that REPAIR_STANDIN_CONFIG names (the program under test hands its
// environment on; its work folder is its own) or else beside the stand-in:
//   exit=<unsigned 32-bit code>
//   record=<path of the record to write>
//   sleep=<milliseconds to run before exiting>
#include <windows.h>
#include <shellapi.h>

#include <sstream>
#include <string>

#include "files.h"
#include "utf8.h"

int wmain() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);

    unsigned long exitCode = 0;
    unsigned long sleepMs = 0;
    std::wstring record;
    std::wstring configPath = std::wstring(self) + L".cfg";
    wchar_t folder[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"REPAIR_STANDIN_CONFIG", folder, MAX_PATH) > 0) {
        const wchar_t* name = wcsrchr(self, L'\\');
        configPath = std::wstring(folder) + L"\\" + (name ? name + 1 : self) + L".cfg";
    }
    std::istringstream config(ReadTextFile(configPath));
    for (std::string line; std::getline(config, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind("exit=", 0) == 0) {
            exitCode = std::stoul(line.substr(5), nullptr, 0);
        } else if (line.rfind("sleep=", 0) == 0) {
            sleepMs = std::stoul(line.substr(6), nullptr, 0);
        } else if (line.rfind("record=", 0) == 0) {
            record = FromUtf8(line.substr(7));
        }
    }

    if (!record.empty()) {
        STARTUPINFOW startup = {};
        GetStartupInfoW(&startup);
        std::ostringstream out;
        out << "commandline\t" << ToUtf8(GetCommandLineW()) << "\n";
        int argc = 0;
        wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
        out << "argc\t" << argc << "\n";
        for (int i = 0; i < argc; ++i) {
            out << "arg\t" << ToUtf8(argv[i]) << "\n";
        }
        LocalFree(argv);
        out << "flags\t" << startup.dwFlags << "\n";
        out << "show\t" << startup.wShowWindow << "\n";
        WriteTextFile(record, out.str());
    }
    Sleep(sleepMs);
    ExitProcess(static_cast<UINT>(exitCode));
}
