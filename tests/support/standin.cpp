// Stands in for the runtime installer and the repair tool. It records how it
// was started (its whole command line, the arguments as CommandLineToArgvW
// splits them, the start-up flags, its current directory, every variable
// of its environment and whether its TEMP folder exists) and exits with the code that a file named after itself
// with ".cfg" appended asks for. That file lies beside the stand-in or else
// in C:\standin (the program under test keeps its work folder to itself and
// hands its children no environment of its own):
//   exit=<unsigned 32-bit code>
//   record=<path of the record to write>
//   sleep=<milliseconds to run before exiting>
//   started=<path of a file to append the wall-clock start time to, in 100 ns units since 1601>
//   leave=<name of a file to write in its current folder, as a tool writes its log>
//   waitfor=<path of a file whose appearance ends the run, within two minutes>
#include <windows.h>
#include <shellapi.h>

#include <sstream>
#include <string>

#include "files.h"
#include "utf8.h"

int wmain() {
    // First, so that what the stand-in does itself is not counted.
    FILETIME startedAt = {};
    GetSystemTimePreciseAsFileTime(&startedAt);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);

    unsigned long exitCode = 0;
    unsigned long sleepMs = 0;
    std::wstring record;
    std::wstring leave;
    std::wstring waitFor;
    std::wstring configPath = std::wstring(self) + L".cfg";
    if (GetFileAttributesW(configPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const wchar_t* name = wcsrchr(self, L'\\');
        configPath = std::wstring(L"C:\\standin\\") + (name ? name + 1 : self) + L".cfg";
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
        } else if (line.rfind("waitfor=", 0) == 0) {
            waitFor = FromUtf8(line.substr(8));
        } else if (line.rfind("leave=", 0) == 0) {
            leave = FromUtf8(line.substr(6));
        } else if (line.rfind("record=", 0) == 0) {
            record = FromUtf8(line.substr(7));
        } else if (line.rfind("started=", 0) == 0) {
            const ULONGLONG at = (static_cast<ULONGLONG>(startedAt.dwHighDateTime) << 32) | startedAt.dwLowDateTime;
            const HANDLE stamps = CreateFileW(FromUtf8(line.substr(8)).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            const std::string text = std::to_string(at) + "\n";
            DWORD written = 0;
            WriteFile(stamps, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            CloseHandle(stamps);
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
        wchar_t directory[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, directory);
        out << "cwd\t" << ToUtf8(directory) << "\n";
        if (wchar_t* block = GetEnvironmentStringsW()) {
            for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
                out << "env\t" << ToUtf8(entry) << "\n";
            }
            FreeEnvironmentStringsW(block);
        }
        wchar_t temp[MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
        const DWORD attributes = length > 0 && length < MAX_PATH ? GetFileAttributesW(temp) : INVALID_FILE_ATTRIBUTES;
        out << "tempexists\t" << (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            << "\n";
        WriteTextFile(record, out.str());
    }
    if (!leave.empty()) {
        WriteTextFile(leave, "written where the tool was started\n");
    }
    Sleep(sleepMs);
    for (int i = 0; !waitFor.empty() && i < 2400 && GetFileAttributesW(waitFor.c_str()) == INVALID_FILE_ATTRIBUTES;
         ++i) {
        Sleep(50);
    }
    ExitProcess(static_cast<UINT>(exitCode));
}
