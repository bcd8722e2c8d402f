#include "net/transfer_state.h"

#include <gtest/gtest.h>

#include <vector>

#include "net/download_callback.h"

namespace repair {
namespace {

class LineSink final : public ProgressSink {
public:
    std::vector<std::wstring> lines;
    void SetStatus(const std::wstring& status, const std::wstring& detail) override {
        lines.push_back(status + L"|" + detail);
    }
    void SetProgress(int percent, bool indeterminate) override {
        lines.push_back(std::to_wstring(percent) + (indeterminate ? L" marquee" : L""));
    }
};

// The first look, every step ms over [from, to), at which the watch gives up
// (0 for none), the transfer's thread working busy of every 100 ms.
ULONGLONG FirstSilence(TransferState& state, ULONGLONG from, ULONGLONG to, ULONGLONG step = 100, ULONGLONG busy = 0) {
    for (ULONGLONG now = from; now < to; now += step) {
        if (state.SilentAt(now, now * busy / 100, 3000, 1000)) {
            return now;
        }
    }
    return 0;
}

TEST(TransferState, OnlyGrowingByteCountsKeepATransferAlive) {
    TransferState state(1000);
    EXPECT_EQ(FirstSilence(state, 1100, 9000), 4000u) << "nothing at all arrived";
    TransferState slow(1000);
    EXPECT_TRUE(slow.NoteProgress(0, 0, 1500)) << "connecting, no data yet";
    slow.NoteProgress(65536, 0, 3900);
    slow.NoteProgress(65536, 0, 6000);  // the same count again: no new data
    EXPECT_EQ(FirstSilence(slow, 4000, 9000), 6900u);
    slow.NoteProgress(70000, 0, 6950);
    EXPECT_EQ(FirstSilence(slow, 7000, 9900), 0u) << "a slow transfer that keeps delivering is never cut";
}

TEST(TransferState, AStarvedWatchGivesNothingUpAndASilentServerIsGivenUpOnTime) {
    TransferState starved(0);
    EXPECT_FALSE(starved.SilentAt(5000, 0, 3000, 1000) || starved.SilentAt(12000, 0, 3000, 1000))
        << "looks seconds late count a second each at most";
    EXPECT_EQ(FirstSilence(starved, 12100, 20000), 13000u) << "then the usual pace decides again";
    TransferState busy(0);
    busy.NoteProgress(4096, 0, 50);
    EXPECT_EQ(FirstSilence(busy, 100, 20000, 250), 3100u) << "slower looks, the same silence";
    TransferState working(0);
    EXPECT_EQ(FirstSilence(working, 100, 20000, 100, 100), 12000u) << "busy without data: four times the wait";
}

TEST(TransferState, AFileIsWholeUnlessShorterThanTheAnnouncedLength) {
    TransferState chunked(0);
    chunked.NoteProgress(4096, 0, 1);
    EXPECT_TRUE(chunked.IsWhole(1)) << "no length announced: the transfer's result decides";
    TransferState announced(0);
    announced.NoteProgress(0, 0, 1);
    announced.NoteProgress(1048576, 4214272, 2);
    announced.NoteProgress(4214272, 0, 3);  // a last notice without the length keeps it
    EXPECT_TRUE(announced.IsWhole(4214272));
    EXPECT_FALSE(announced.IsWhole(1048576)) << "cut short by a full disk";
    EXPECT_TRUE(announced.IsWhole(4214273)) << "longer than announced: decoded from a compressed answer";
}

TEST(TransferState, TheNewestStateReachesTheWindowUntilTheTransferIsGivenUp) {
    TransferState state(0);
    DownloadCallback callback(L"S", L"D", state, &state);
    EXPECT_EQ(callback.OnProgress(0, 0, BINDSTATUS_BEGINDOWNLOADDATA, nullptr), S_OK);
    LineSink sink;
    state.ReplayInto(sink);
    EXPECT_EQ(sink.lines, (std::vector<std::wstring>{L"0 marquee", L"S|D"}));

    EXPECT_EQ(callback.OnProgress(30, 100, BINDSTATUS_DOWNLOADINGDATA, nullptr), S_OK);
    EXPECT_EQ(callback.OnProgress(50, 100, BINDSTATUS_DOWNLOADINGDATA, nullptr), S_OK);
    state.ReplayInto(sink);
    EXPECT_EQ(sink.lines, (std::vector<std::wstring>{L"0 marquee", L"S|D", L"50", L"S|D 50%"}))
        << "a batch shows its newest bar and lines, bar first";
    state.ReplayInto(sink);
    EXPECT_EQ(sink.lines.size(), 4u) << "each update is shown once";

    state.Abandon();
    EXPECT_EQ(callback.OnProgress(60, 100, BINDSTATUS_DOWNLOADINGDATA, nullptr), E_ABORT)
        << "a transfer that was given up ends at its next notification";
    state.ReplayInto(sink);
    EXPECT_EQ(sink.lines.size(), 4u) << "nothing more is shown after the message";
}

}  // namespace
}  // namespace repair
