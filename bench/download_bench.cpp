// Prints what the progress window and the bootstrapper cost, on loopback.
// Not a test: it prints figures and never fails on them.
//
// Three ways of fetching one 100 MB file, in an order that rotates from run
// to run so that no path always follows another (the loopback server, the
// disk cache and Wine warm up as the runs go on):
//   bare        URLDownloadToFileW into a file that does not exist yet: the floor
//   bare+move   the same into a fresh partial file, then moved onto a fresh
//               name, as DownloadFile writes: the cost of the partial file and
//               the move on their own
//   window      DownloadFile with the progress window, onto a fresh name
// Every path writes files of its own, removed outside the timed part.
//
// With a bootstrapper it also times whole runs, each path started as a
// process by this program in the same way, after one warm-up run of each
// that is not counted, in an order that gives every path every position
// equally often:
//   bootstrapper  the program from start to exit (window, stages, download
//                 of the stand-in as the tool, its start and wait)
//   minimal       minimal_run: the same download and start, nothing else
//   stand-in      the stand-in alone: what one process start costs
// and prints the medians, the difference of the medians of the first two
// and the median of their paired differences. Where the bootstrapper's time
// goes is read from outside it: when its window is first visible (a
// watcher thread here), when its first request reached the server (the
// server's request log) and when the tool started (the stand-in's stamp).
//
// download_bench URL TARGET_DIR [RUNS [BOOTSTRAPPER TOOL_URL MINIMAL STANDIN REQUEST_LOG STAMPS]]
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "files.h"
#include "net/download.h"
#include "ui/progress_window.h"
#include "util/constants.h"

namespace {

double Seconds(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Timed(const std::function<bool()>& work) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const bool ok = work();
    QueryPerformanceCounter(&end);
    if (!ok) {
        std::fprintf(stderr, "a timed step failed\n");
        std::exit(1);
    }
    return Seconds(start, end);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool BareDownload(const std::wstring& url, const std::wstring& target) {
    DeleteUrlCacheEntryW(url.c_str());
    return SUCCEEDED(URLDownloadToFileW(nullptr, url.c_str(), target.c_str(), 0, nullptr));
}

// Runs a command line to its end; false unless it started and ended with 0,
// so that a run that failed half way is never timed as a whole one.
bool RunToEnd(std::wstring commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return false;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return code == 0;
}

// Wall-clock now, in 100 ns units since 1601: comparable with the server's
// log and the stand-in's stamp, which are other processes.
ULONGLONG WallNow() {
    FILETIME now = {};
    GetSystemTimePreciseAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// The first number in a text file (one per line) at or after since; 0 when none.
ULONGLONG FirstStampAfter(const std::wstring& path, ULONGLONG since) {
    const std::string text = ReadTextFile(path);
    ULONGLONG first = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const ULONGLONG stamp = std::strtoull(text.c_str() + at, nullptr, 10);
        if (stamp >= since && (first == 0 || stamp < first)) {
            first = stamp;
        }
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return first;
}

// Watches for the bootstrapper's window from another thread while a run goes on.
struct WindowWatch {
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ULONGLONG seenAt = 0;
    static DWORD WINAPI Run(void* parameter) {
        auto* watch = static_cast<WindowWatch*>(parameter);
        while (WaitForSingleObject(watch->stop, 1) == WAIT_TIMEOUT) {
            const HWND window = FindWindowW(repair::kWindowClassName, nullptr);
            if (window != nullptr && IsWindowVisible(window)) {
                watch->seenAt = WallNow();
                break;
            }
        }
        return 0;
    }
};

double Ms(ULONGLONG from, ULONGLONG to) {
    return to > from ? static_cast<double>(to - from) / 10000.0 : -1.0;
}

int WholeRuns(int runs, const std::wstring& directory, const std::wstring& bootstrapper, const std::wstring& toolUrl,
              const std::wstring& minimal, const std::wstring& standin, const std::wstring& requestLog,
              const std::wstring& stamps) {
    constexpr int kWholePaths = 3;
    const int rounds = (runs + kWholePaths - 1) / kWholePaths * kWholePaths;
    const char* names[kWholePaths] = {"bootstrapper", "minimal", "stand-in"};
    std::vector<double> seconds[kWholePaths];
    std::vector<double> windowMs, requestMs, toolMs;
    int counter = 0;
    const auto runPath = [&](int path, bool counted) {
        const std::wstring target = directory + L"\\bench-tool-" + std::to_wstring(++counter) + L".exe";
        std::wstring commandLine;
        if (path == 0) {
            commandLine = L"\"" + bootstrapper + L"\" --client-dir \"C:\\bench-client\"";
        } else if (path == 1) {
            commandLine = L"\"" + minimal + L"\" \"" + toolUrl + L"\" \"" + target + L"\"";
        } else {
            commandLine = L"\"" + standin + L"\" --client-dir \"C:\\bench-client\"";
        }
        WindowWatch watch;
        HANDLE watcher = path == 0 ? CreateThread(nullptr, 0, WindowWatch::Run, &watch, 0, nullptr) : nullptr;
        const ULONGLONG startedAt = WallNow();
        const double took = Timed([&] { return RunToEnd(commandLine); });
        SetEvent(watch.stop);
        if (watcher != nullptr) {
            WaitForSingleObject(watcher, INFINITE);
            CloseHandle(watcher);
        }
        CloseHandle(watch.stop);
        DeleteFileW(target.c_str());
        if (!counted) {
            return;
        }
        seconds[path].push_back(took);
        if (path == 0) {
            windowMs.push_back(Ms(startedAt, watch.seenAt));
            requestMs.push_back(Ms(startedAt, FirstStampAfter(requestLog, startedAt)));
            toolMs.push_back(Ms(startedAt, FirstStampAfter(stamps, startedAt)));
        }
    };
    for (int path = 0; path < kWholePaths; ++path) {
        runPath(path, false);  // warm-up, not counted
    }
    std::printf("whole runs, %d of each after a warm-up, each path in each position equally often:\n", rounds);
    for (int round = 0; round < rounds; ++round) {
        std::printf("run %d:", round + 1);
        for (int step = 0; step < kWholePaths; ++step) {
            const int path = (round + step) % kWholePaths;
            runPath(path, true);
            std::printf(" %s %.3f s", names[path], seconds[path].back());
        }
        std::printf("\n");
    }
    std::vector<double> paired;
    for (int i = 0; i < rounds; ++i) {
        paired.push_back(seconds[0][i] - seconds[1][i]);
    }
    std::printf("median whole run: bootstrapper %.3f s, minimal download and start %.3f s, stand-in alone %.3f s\n",
                Median(seconds[0]), Median(seconds[1]), Median(seconds[2]));
    std::printf(
        "whole: the bootstrapper adds %.0f ms (difference of medians), %.0f ms (median of paired differences)\n",
        (Median(seconds[0]) - Median(seconds[1])) * 1000, Median(paired) * 1000);
    std::printf(
        "whole: bootstrapper from its start: window visible %.0f ms, first request at the server %.0f ms, "
        "tool started %.0f ms (medians)\n",
        Median(windowMs), Median(requestMs), Median(toolMs));
    return 0;
}

struct Path {
    const char* name;
    std::function<bool(const std::wstring& target)> fetch;
    std::vector<double> seconds;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: download_bench URL TARGET_DIR [RUNS [BOOTSTRAPPER TOOL_URL]]\n");
        return 2;
    }
    const std::wstring url = argv[1];
    const std::wstring directory = argv[2];
    const int runs = argc > 3 ? _wtoi(argv[3]) : 5;

    repair::CreateProgressWindow();
    Path paths[] = {
        {"bare", [&](const std::wstring& target) { return BareDownload(url, target); }, {}},
        {"bare+move",
         [&](const std::wstring& target) {
             const std::wstring partial = target + L".partial";
             return BareDownload(url, partial) && MoveFileExW(partial.c_str(), target.c_str(), 0) != FALSE;
         },
         {}},
        {"window",
         [&](const std::wstring& target) { return repair::DownloadFile(url.c_str(), target, L"正在下载", L"详情"); },
         {}},
    };
    constexpr int kPaths = sizeof(paths) / sizeof(paths[0]);
    std::printf("100 MB loopback download, %d runs, the order rotating:\n", runs);
    for (int run = 0; run < runs; ++run) {
        std::printf("run %d:", run + 1);
        for (int step = 0; step < kPaths; ++step) {
            Path& path = paths[(run + step) % kPaths];
            const std::wstring target =
                directory + L"\\bench-" + std::to_wstring(run) + L"-" + std::to_wstring(step) + L".bin";
            path.seconds.push_back(Timed([&] { return path.fetch(target); }));
            DeleteFileW(target.c_str());
            std::printf(" %s %.3f s", path.name, path.seconds.back());
        }
        std::printf("\n");
    }
    const Path& bare = paths[0];
    for (const Path& path : paths) {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < path.seconds.size(); ++i) {
            ratios.push_back(path.seconds[i] / bare.seconds[i]);
        }
        std::printf("median %-9s %.3f s, against bare: ratio of medians %.3f, median ratio %.3f\n", path.name,
                    Median(path.seconds), Median(path.seconds) / Median(bare.seconds), Median(ratios));
    }
    if (repair::gWindow != nullptr) {
        DestroyWindow(repair::gWindow);
    }

    if (argc < 10) {
        return 0;
    }
    return WholeRuns(runs, directory, argv[4], argv[5], argv[6], argv[7], argv[8], argv[9]);
}
