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
// With a bootstrapper and a stand-in tool it also times whole runs: the
// program from start to exit (window, stages, download of the stand-in as
// the tool, its start and wait) against a bare download of the same file
// plus a bare start of it, and prints the difference in milliseconds.
//
// download_bench URL TARGET_DIR [RUNS [BOOTSTRAPPER TOOL_URL]]
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "net/download.h"
#include "ui/progress_window.h"

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

    if (argc < 6) {
        return 0;
    }
    const std::wstring bootstrapper = argv[4];
    const std::wstring toolUrl = argv[5];
    std::vector<double> whole, floor;
    std::printf("whole runs, %d of each, alternating:\n", runs);
    for (int run = 0; run < runs; ++run) {
        const std::wstring tool = directory + L"\\bench-tool-" + std::to_wstring(run) + L".exe";
        const auto bareRun = [&] { return BareDownload(toolUrl, tool) && RunToEnd(L"\"" + tool + L"\""); };
        const auto programRun = [&] { return RunToEnd(L"\"" + bootstrapper + L"\" --client-dir C:\\bench-client"); };
        const bool programFirst = run % 2 == 0;
        const double first = Timed(programFirst ? std::function<bool()>(programRun) : bareRun);
        const double second = Timed(programFirst ? std::function<bool()>(bareRun) : programRun);
        DeleteFileW(tool.c_str());
        whole.push_back(programFirst ? first : second);
        floor.push_back(programFirst ? second : first);
        std::printf("run %d: bootstrapper %.3f s, bare download and start %.3f s\n", run + 1, whole.back(),
                    floor.back());
    }
    std::printf("median whole run: bootstrapper %.3f s, bare %.3f s: the bootstrapper adds %.0f ms\n", Median(whole),
                Median(floor), (Median(whole) - Median(floor)) * 1000);
    return 0;
}
