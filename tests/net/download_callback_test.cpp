#include "net/download_callback.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace repair {
namespace {

struct Update {
    enum Kind { kStatus, kProgress } kind;
    std::wstring status, detail;
    int percent = 0;
    bool indeterminate = false;
};

class RecordingSink final : public ProgressSink {
public:
    void SetStatus(const std::wstring& status, const std::wstring& detail) override {
        updates.push_back({Update::kStatus, status, detail, 0, false});
    }
    void SetProgress(int percent, bool indeterminate) override {
        updates.push_back({Update::kProgress, L"", L"", percent, indeterminate});
    }
    std::vector<Update> updates;
};

class DownloadCallbackTest : public ::testing::Test {
protected:
    RecordingSink sink;
    DownloadCallback callback{L"正在下载", L"详情。", sink};

    void ExpectPercent(ULONG progress, ULONG max, int barPercent, const std::wstring& line) {
        sink.updates.clear();
        EXPECT_EQ(callback.OnProgress(progress, max, BINDSTATUS_DOWNLOADINGDATA, L"ignored"), S_OK);
        ASSERT_EQ(sink.updates.size(), 2u);
        EXPECT_EQ(sink.updates[0].kind, Update::kProgress) << "bar before the lines";
        EXPECT_EQ(sink.updates[0].percent, barPercent);
        EXPECT_FALSE(sink.updates[0].indeterminate);
        EXPECT_EQ(sink.updates[1].status, L"正在下载");
        EXPECT_EQ(sink.updates[1].detail, line);
    }
};

TEST_F(DownloadCallbackTest, ShowsThePercentageOfAKnownTotal) {
    ExpectPercent(0, 1000, 0, L"详情。 0%");
    ExpectPercent(999, 1000, 99, L"详情。 99%");
    ExpectPercent(1000, 1000, 100, L"详情。 100%");
    // 3e9 * 100 overflows 32 bits; the product must be formed in 64.
    ExpectPercent(3000000000u, 4000000000u, 75, L"详情。 75%");
    // The text is not clamped; the window clamps the bar itself.
    ExpectPercent(150, 100, 150, L"详情。 150%");
}

TEST_F(DownloadCallbackTest, AnEmptyDetailLineStartsWithTheSpace) {
    DownloadCallback bare(L"s", L"", sink);
    bare.OnProgress(1, 2, BINDSTATUS_DOWNLOADINGDATA, nullptr);
    EXPECT_EQ(sink.updates.back().detail, L" 50%");
}

TEST_F(DownloadCallbackTest, MarqueeOnlyWhileDataArrivesWithoutATotal) {
    for (ULONG code : {BINDSTATUS_BEGINDOWNLOADDATA, BINDSTATUS_DOWNLOADINGDATA}) {
        sink.updates.clear();
        EXPECT_EQ(callback.OnProgress(12345, 0, code, nullptr), S_OK);
        ASSERT_EQ(sink.updates.size(), 2u);
        EXPECT_TRUE(sink.updates[0].indeterminate);
        EXPECT_EQ(sink.updates[1].detail, L"详情。") << "no percentage without a total";
    }
    for (ULONG code : {BINDSTATUS_FINDINGRESOURCE, BINDSTATUS_CONNECTING, BINDSTATUS_ENDDOWNLOADDATA,
                       BINDSTATUS_MIMETYPEAVAILABLE, BINDSTATUS_CACHEFILENAMEAVAILABLE}) {
        sink.updates.clear();
        EXPECT_EQ(callback.OnProgress(5, 0, code, nullptr), S_OK);
        EXPECT_TRUE(sink.updates.empty()) << "status " << code;
    }
}

TEST_F(DownloadCallbackTest, AnswersForItsTwoInterfacesOnly) {
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(callback.QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<IBindStatusCallback*>(&callback));
    out = nullptr;
    EXPECT_EQ(callback.QueryInterface(IID_IBindStatusCallback, &out), S_OK);
    EXPECT_EQ(out, static_cast<IBindStatusCallback*>(&callback));
    out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(callback.QueryInterface(IID_IStream, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(callback.QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(DownloadCallbackTest, AsksForTheServersNewestAnswerNeverTheCacheAndKeepsNone) {
    DWORD flags = BINDF_ASYNCHRONOUS | BINDF_OFFLINEOPERATION;  // as if offline use were asked for
    BINDINFO info;
    std::memset(&info, 0xAB, sizeof(info));
    info.cbSize = sizeof(info);
    ASSERT_EQ(callback.GetBindInfo(&flags, &info), S_OK);
    EXPECT_EQ(flags, static_cast<DWORD>(BINDF_ASYNCHRONOUS | BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE |
                                        BINDF_PRAGMA_NO_CACHE))
        << "what urlmon asked for is kept, except working from the cache";
    EXPECT_EQ(info.cbSize, sizeof(info));
    EXPECT_EQ(info.dwBindVerb, static_cast<DWORD>(BINDVERB_GET));
    EXPECT_EQ(info.szExtraInfo, nullptr);
    EXPECT_EQ(info.stgmedData.tymed, 0u) << "no data of its own to send";
}

TEST_F(DownloadCallbackTest, ReferenceCountingIsNominalAndNotificationsAreHarmless) {
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(callback.AddRef(), 2u);
        EXPECT_EQ(callback.Release(), 1u);
        EXPECT_EQ(callback.Release(), 1u);
    }
    LONG priority = 77;
    EXPECT_EQ(callback.GetPriority(&priority), E_NOTIMPL);
    EXPECT_EQ(priority, 77);
    EXPECT_EQ(callback.GetBindInfo(nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(callback.OnStartBinding(0, nullptr), S_OK);
    EXPECT_EQ(callback.OnStopBinding(E_FAIL, nullptr), S_OK);
    EXPECT_TRUE(sink.updates.empty());
    // Still usable after all of that.
    ExpectPercent(1, 4, 25, L"详情。 25%");
}

}  // namespace
}  // namespace repair
