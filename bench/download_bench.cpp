// Prints what the progress window costs a download: a 100 MB loopback file
// fetched through DownloadFile with the window against a bare
// URLDownloadToFileW without callback, in alternating runs. Not a test: it
// prints figures and never fails on them.
//
// download_bench URL TARGET [RUNS]
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
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

template <typename Fetch>
double Timed(Fetch fetch) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const bool ok = fetch();
    QueryPerformanceCounter(&end);
    if (!ok) {
        std::fprintf(stderr, "download failed\n");
        std::exit(1);
    }
    return Seconds(start, end);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: download_bench URL TARGET [RUNS]\n");
        return 2;
    }
    const std::wstring url = argv[1];
    const std::wstring target = argv[2];
    const int runs = argc > 3 ? _wtoi(argv[3]) : 5;

    repair::CreateProgressWindow();
    std::vector<double> withWindow, bare, ratios;
    for (int i = 0; i < runs; ++i) {
        const double a = Timed([&] { return repair::DownloadFile(url.c_str(), target, L"正在下载", L"详情"); });
        const double b = Timed([&] {
            DeleteUrlCacheEntryW(url.c_str());
            return SUCCEEDED(URLDownloadToFileW(nullptr, url.c_str(), target.c_str(), 0, nullptr));
        });
        withWindow.push_back(a);
        bare.push_back(b);
        ratios.push_back(a / b);
        std::printf("run %d: window %.3f s, bare %.3f s, ratio %.3f\n", i + 1, a, b, a / b);
    }
    std::printf("median: window %.3f s, bare %.3f s, ratio of medians %.3f, median ratio %.3f\n", Median(withWindow),
                Median(bare), Median(withWindow) / Median(bare), Median(ratios));
    return 0;
}
