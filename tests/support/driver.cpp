// Starts a program under test inside Wine and watches it until it ends:
// records each of its message boxes (text, owner, icon) and presses OK,
// records every change of the progress window, and writes the program's
// exit code as Windows sees it. Everything goes to one UTF-8 file of
// tab-separated lines:
//   box <owner class or -> <icon or none> <text>
//   window <caption> <x> <y> <w> <h> <enabled> <bar position or -1> <marquee 0/1> <status> <detail>
//   module <path of the common controls the program loaded>   (once, when its window is first seen)
//   exit <unsigned code>      or      timeout
// With --probe-hang it also asks the progress window, at every look, whether
// it is hung and how long it takes to answer WM_NULL, and ends with
//   responsive <looks> <looks reported hung> <WM_NULL unanswered in 5 s> <longest answer ms>
//
// driver --out FILE --cmdfile FILE [--timeout MS] [--env NAME=VALUE]... [--close-window] [--probe-hang]
// The command line is read from the UTF-8 file and passed to CreateProcessW
// unchanged, so tests control every quote and backslash of it.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <climits>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "files.h"
#include "utf8.h"

namespace {

const wchar_t kCaption[] = L"赤砂回廊文件修复";
const wchar_t kWindowClass[] = L"VandrelRepairBootstrapperWindow";

struct Options {
    std::wstring out;
    DWORD timeoutMs = 60000;
    std::vector<std::wstring> env;
    bool closeWindow = false;
    bool probeHang = false;
    std::wstring commandLine;
};

bool ParseOptions(Options& options) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--out" && i + 1 < argc) {
            options.out = argv[++i];
        } else if (arg == L"--cmdfile" && i + 1 < argc) {
            options.commandLine = FromUtf8(ReadTextFile(argv[++i]));
        } else if (arg == L"--timeout" && i + 1 < argc) {
            options.timeoutMs = std::wcstoul(argv[++i], nullptr, 10);
        } else if (arg == L"--env" && i + 1 < argc) {
            options.env.push_back(argv[++i]);
        } else if (arg == L"--close-window") {
            options.closeWindow = true;
        } else if (arg == L"--probe-hang") {
            options.probeHang = true;
        }
    }
    LocalFree(argv);
    return !options.out.empty() && !options.commandLine.empty();
}

std::wstring TextOf(HWND window) {
    wchar_t buffer[1024] = {};
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

std::wstring ClassOf(HWND window) {
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

// Whether the box shows an icon. Which one cannot be told from outside under
// Wine: icon handles are private to the process that loaded them, so another
// process can neither compare nor draw them.
std::wstring IconKind(HWND box) {
    // Windows numbers the icon control 20; Wine's template uses stc1 (1088).
    HWND iconControl = GetDlgItem(box, 0x0014);
    if (iconControl == nullptr) {
        iconControl = GetDlgItem(box, 0x0440);
    }
    if (iconControl == nullptr || !IsWindowVisible(iconControl)) {
        return L"none";
    }
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 1000, &icon);
    return icon == 0 ? L"none" : L"icon";
}

struct Watch {
    DWORD processId = 0;
    HANDLE out = INVALID_HANDLE_VALUE;
    std::set<HWND> boxesSeen;
    std::wstring lastWindowLine;
    std::wstring lastControlsLine;
    bool closeWindow = false;
    bool closeSent = false;
    bool probeHang = false;
    bool modulesSeen = false;
    unsigned looks = 0;
    unsigned hung = 0;
    unsigned unanswered = 0;
    ULONGLONG longestAnswerMs = 0;
};

void ProbeHang(Watch& watch, HWND window) {
    ++watch.looks;
    if (IsHungAppWindow(window)) {
        ++watch.hung;
    }
    const ULONGLONG start = GetTickCount64();
    DWORD_PTR ignored = 0;
    // A window that went away with its process is not an unanswered one.
    if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored) == 0 && IsWindow(window)) {
        ++watch.unanswered;
    }
    const ULONGLONG took = GetTickCount64() - start;
    watch.longestAnswerMs = took > watch.longestAnswerMs ? took : watch.longestAnswerMs;
}

void Write(Watch& watch, const std::wstring& line) {
    const std::string bytes = ToUtf8(line) + "\n";
    DWORD written = 0;
    WriteFile(watch.out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Which comctl32 the program has loaded: System32's, or a side-by-side one.
// Its 32-bit modules are listed from a 64-bit driver too.
void WriteCommonControls(Watch& watch) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, watch.processId);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return;
    }
    MODULEENTRY32W module = {};
    module.dwSize = sizeof(module);
    for (BOOL more = Module32FirstW(snapshot, &module); more; more = Module32NextW(snapshot, &module)) {
        if (_wcsicmp(module.szModule, L"comctl32.dll") == 0) {
            Write(watch, std::wstring(L"module\t") + module.szExePath);
        }
    }
    CloseHandle(snapshot);
    watch.modulesSeen = true;
}

BOOL CALLBACK VisitTopLevel(HWND window, LPARAM context) {
    Watch& watch = *reinterpret_cast<Watch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != watch.processId || !IsWindowVisible(window)) {
        return TRUE;
    }
    const std::wstring cls = ClassOf(window);
    if (cls == L"#32770" && TextOf(window) == kCaption && watch.boxesSeen.insert(window).second) {
        const HWND ownerWindow = GetWindow(window, GW_OWNER);
        Write(watch, L"box\t" + (ownerWindow ? ClassOf(ownerWindow) : std::wstring(L"-")) + L"\t" + IconKind(window) +
                         L"\t" + TextOf(GetDlgItem(window, 0xFFFF)));
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    } else if (cls == kWindowClass) {
        RECT frame = {};
        // A window that goes while it is read (the run ending) leaves rectangles
        // of nothing; its places are recorded only when every one was read.
        bool whole = GetWindowRect(window, &frame) != FALSE;
        std::vector<HWND> children;
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            children.push_back(child);
        }
        // The status line sits above the bar, the detail line below it.
        std::wstring status, detail;
        LONG statusTop = LONG_MAX;
        DWORD_PTR position = 0;
        bool marquee = false;
        // Each control's place in the client area, top to bottom.
        std::vector<std::pair<LONG, std::wstring>> places;
        for (HWND child : children) {
            const std::wstring childClass = ClassOf(child);
            RECT box = {};
            whole = GetWindowRect(child, &box) != FALSE && whole;
            RECT inside = box;
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&inside), 2);
            places.emplace_back(inside.top, std::to_wstring(inside.left) + L"," + std::to_wstring(inside.top) + L"," +
                                                std::to_wstring(inside.right - inside.left) + L"," +
                                                std::to_wstring(inside.bottom - inside.top));
            if (_wcsicmp(childClass.c_str(), L"Static") == 0) {
                if (box.top < statusTop) {
                    if (statusTop != LONG_MAX) {
                        detail = status;
                    }
                    status = TextOf(child);
                    statusTop = box.top;
                } else {
                    detail = TextOf(child);
                }
            } else if (childClass == PROGRESS_CLASSW) {
                // -1 when the program did not answer in time (it is busy or waiting).
                if (SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 200, &position) == 0) {
                    position = static_cast<DWORD_PTR>(-1);
                }
                marquee = (GetWindowLongPtrW(child, GWL_STYLE) & PBS_MARQUEE) != 0;
            }
        }
        const std::wstring line = L"window\t" + TextOf(window) + L"\t" + std::to_wstring(frame.left) + L"\t" +
                                  std::to_wstring(frame.top) + L"\t" + std::to_wstring(frame.right - frame.left) +
                                  L"\t" + std::to_wstring(frame.bottom - frame.top) + L"\t" +
                                  (IsWindowEnabled(window) ? L"1" : L"0") + L"\t" +
                                  std::to_wstring(static_cast<long long>(position)) + L"\t" + (marquee ? L"1" : L"0") +
                                  L"\t" + status + L"\t" + detail;
        if (line != watch.lastWindowLine) {
            Write(watch, line);
            watch.lastWindowLine = line;
        }
        std::sort(places.begin(), places.end());
        // Where the client area begins on the screen, for reading pixels.
        POINT client = {};
        whole = ClientToScreen(window, &client) != FALSE && whole;
        std::wstring controls = L"controls\t" + std::to_wstring(client.x) + L"," + std::to_wstring(client.y);
        for (const auto& place : places) {
            controls += L"\t" + place.second;
        }
        if (whole && IsWindow(window) && controls != watch.lastControlsLine) {
            Write(watch, controls);
            watch.lastControlsLine = controls;
        }
        if (!watch.modulesSeen) {
            WriteCommonControls(watch);
        }
        if (watch.probeHang) {
            ProbeHang(watch, window);
        }
        if (watch.closeWindow && !watch.closeSent) {
            PostMessageW(window, WM_CLOSE, 0, 0);
            watch.closeSent = true;
        }
    }
    return TRUE;
}

}  // namespace

int wmain() {
    Options options;
    if (!ParseOptions(options)) {
        return 125;
    }
    Watch watch;
    watch.out = CreateFileW(options.out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    for (const std::wstring& assignment : options.env) {
        const std::wstring::size_type eq = assignment.find(L'=');
        const std::wstring name = assignment.substr(0, eq);
        const std::wstring value = eq == std::wstring::npos ? L"" : assignment.substr(eq + 1);
        SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    }

    // The job ends the program and everything it started if the driver goes.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));

    std::vector<wchar_t> commandLine(options.commandLine.begin(), options.commandLine.end());
    commandLine.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &info)) {
        Write(watch, L"startfailed\t" + std::to_wstring(GetLastError()));
        return 126;
    }
    AssignProcessToJobObject(job, info.hProcess);
    ResumeThread(info.hThread);

    watch.processId = info.dwProcessId;
    watch.closeWindow = options.closeWindow;
    watch.probeHang = options.probeHang;
    const ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
    for (;;) {
        EnumWindows(VisitTopLevel, reinterpret_cast<LPARAM>(&watch));
        if (WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0) {
            break;
        }
        if (GetTickCount64() > deadline) {
            Write(watch, L"timeout");
            TerminateJobObject(job, 124);
            return 124;
        }
    }
    if (watch.probeHang) {
        Write(watch, L"responsive\t" + std::to_wstring(watch.looks) + L"\t" + std::to_wstring(watch.hung) + L"\t" +
                         std::to_wstring(watch.unanswered) + L"\t" + std::to_wstring(watch.longestAnswerMs));
    }
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    Write(watch, L"exit\t" + std::to_wstring(code));
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    CloseHandle(job);
    CloseHandle(watch.out);
    return 0;
}
