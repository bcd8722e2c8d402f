#include "net/download.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "process/run_and_wait.h"
#include "support/close_later.h"
#include "support/scratch.h"
#include "util/busy_retry.h"

namespace repair {
namespace {

// Served by the loopback fixture (tests/harness/http_server.py); nothing
// listens on the refused port.
constexpr wchar_t kServer[] = L"http://127.0.0.1:47802";
constexpr wchar_t kRefused[] = L"http://127.0.0.1:47803/length.bin";
constexpr DWORD kServedSize = 1024 * 1024;

class RecordingSink final : public ProgressSink {
public:
    std::vector<std::wstring> details;
    std::vector<int> percents;
    int marquees = 0;
    void SetStatus(const std::wstring&, const std::wstring& detail) override { details.push_back(detail); }
    void SetProgress(int percent, bool indeterminate) override {
        if (indeterminate) {
            ++marquees;
        } else {
            percents.push_back(percent);
        }
    }
};

class DownloadFileTest : public ::testing::Test {
protected:
    ScratchDirectory scratch{L"download"};
    std::wstring target = scratch / L"目标 file.exe";
    RecordingSink sink;

    bool Fetch(const std::wstring& url, const std::wstring& path) {
        return DownloadFile(url.c_str(), path, L"状态", L"详情", sink);
    }
    static DWORD SizeOf(const std::wstring& path) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
        return data.nFileSizeLow;
    }
};

TEST_F(DownloadFileTest, AKnownSizeGivesRisingPercentagesEndingAt100) {
    ASSERT_TRUE(Fetch(std::wstring(kServer) + L"/length.bin", target));
    EXPECT_EQ(SizeOf(target), kServedSize);
    ASSERT_FALSE(sink.details.empty());
    EXPECT_EQ(sink.details.front(), L"详情") << "the bare detail line first";
    EXPECT_EQ(sink.percents.front(), 0) << "the bar starts at 0";
    EXPECT_EQ(sink.details.back(), L"详情 100%");
    EXPECT_EQ(sink.percents.back(), 100);
    for (std::size_t i = 1; i < sink.percents.size(); ++i) {
        EXPECT_LE(sink.percents[i - 1], sink.percents[i]);
    }
    EXPECT_EQ(sink.marquees, 0);
}

TEST_F(DownloadFileTest, WithoutALengthTheBarGoesMarqueeAndNoPercentageShows) {
    for (const wchar_t* path : {L"/chunked.bin", L"/bursts-chunked.bin"}) {
        sink = RecordingSink();
        ASSERT_TRUE(Fetch(std::wstring(kServer) + path, target)) << path;
        EXPECT_EQ(SizeOf(target), kServedSize);
        EXPECT_GT(sink.marquees, 0);
        for (const std::wstring& detail : sink.details) {
            EXPECT_EQ(detail, L"详情");
        }
    }
}

TEST_F(DownloadFileTest, DataInBurstsStillEndsComplete) {
    ASSERT_TRUE(Fetch(std::wstring(kServer) + L"/bursts.bin", target));
    EXPECT_EQ(SizeOf(target), kServedSize);
    EXPECT_EQ(sink.details.back(), L"详情 100%");
}

TEST_F(DownloadFileTest, AnEmptyFileCounts) {
    EXPECT_TRUE(Fetch(std::wstring(kServer) + L"/empty.bin", target));
    EXPECT_EQ(SizeOf(target), 0u);
}

TEST_F(DownloadFileTest, AFailedTransferKeepsTheEarlierFileAndReportsFalse) {
    WriteTextFile(target, "from an earlier run");
    EXPECT_FALSE(Fetch(kRefused, target));
    EXPECT_EQ(ReadTextFile(target), "from an earlier run");
}

TEST_F(DownloadFileTest, NoFileOrADirectoryAtThePathIsAFailure) {
    EXPECT_FALSE(Fetch(std::wstring(kServer) + L"/length.bin", scratch / L"missing folder\\file.exe"));
    const std::wstring folder = scratch / L"a folder";
    CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_FALSE(Fetch(std::wstring(kServer) + L"/length.bin", folder));
    // What an empty download folder joins to: never the current directory.
    EXPECT_FALSE(Fetch(std::wstring(kServer) + L"/length.bin", L"relative.exe"));
    EXPECT_EQ(GetFileAttributesW(L"relative.exe"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DownloadFileTest, ALaterDownloadReplacesTheFile) {
    WriteTextFile(target, "stale");
    ASSERT_TRUE(Fetch(std::wstring(kServer) + L"/length.bin", target));
    EXPECT_EQ(SizeOf(target), kServedSize);
}

TEST_F(DownloadFileTest, ASilentServerIsGivenUpAndTheEarlierFileStays) {
    WriteTextFile(target, "from an earlier run");
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(DownloadFile((std::wstring(kServer) + L"/stall.bin").c_str(), target, L"状态", L"详情", sink, 1000));
    EXPECT_LT(GetTickCount64() - start, 10000u);
    EXPECT_EQ(ReadTextFile(target), "from an earlier run");
}

// A scanner holding the earlier copy without sharing: the new file replaces
// it once it is let go, and one held for good fails the download.
TEST_F(DownloadFileTest, AnEarlierCopyHeldOpenIsReplacedOnceFreeAndNeverWhileHeld) {
    for (const DWORD holdMs : {700u, INFINITE}) {
        WriteTextFile(target, "from an earlier run");
        const HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        HANDLE releaser = nullptr;
        if (holdMs != INFINITE) {
            releaser = CloseLater(held, holdMs);
        }
        const bool fetched = Fetch(std::wstring(kServer) + L"/length.bin", target);
        if (releaser != nullptr) {
            WaitForSingleObject(releaser, INFINITE);
            CloseHandle(releaser);
            EXPECT_TRUE(fetched);
            EXPECT_EQ(SizeOf(target), kServedSize);
        } else {
            CloseHandle(held);
            EXPECT_FALSE(fetched);
            EXPECT_EQ(ReadTextFile(target), "from an earlier run");
        }
    }
}

// A player's machine fetches and runs the same program name run after run;
// a program that has just ended may keep its file busy for a moment.
TEST_F(DownloadFileTest, AProgramIsFetchedStartedAndReplacedAHundredTimesInARow) {
    const std::wstring program = scratch / L"program.exe";
    WriteTextFile(program + L".cfg", "exit=7\n");
    const std::wstring temp = scratch / L"temp";
    CreateDirectoryW(temp.c_str(), nullptr);
    const unsigned retriesBefore = BusyRetriesSoFar();
    for (int round = 0; round < 100; ++round) {
        ASSERT_TRUE(Fetch(std::wstring(kServer) + L"/program.exe", program)) << "round " << round;
        ASSERT_EQ(RunAndWait(program, L"", false, temp), 7) << "round " << round;
    }
    std::printf("busy-file retries in 100 rounds: %u\n", BusyRetriesSoFar() - retriesBefore);
}

}  // namespace
}  // namespace repair
