#include "util/busy_retry.h"

#include <gtest/gtest.h>

#include <vector>

namespace repair {
namespace {

// A clock that only moves when the retry loop pauses.
struct FakeClock {
    ULONGLONG now = 1000;
    std::vector<DWORD> pauses;
    RetryClock clock{[this] { return now; },
                     [this](DWORD ms) {
                         pauses.push_back(ms);
                         now += ms;
                     }};
};

TEST(RetryWhileBusy, TriesABusyFileAgainWithGrowingPausesUntilItIsFree) {
    for (const DWORD busy : {DWORD{ERROR_SHARING_VIOLATION}, DWORD{ERROR_LOCK_VIOLATION}, DWORD{ERROR_ACCESS_DENIED}}) {
        FakeClock fake;
        int attempts = 0;
        const DWORD result = RetryWhileBusy([&] { return ++attempts < 4 ? busy : DWORD{ERROR_SUCCESS}; }, fake.clock);
        EXPECT_EQ(result, DWORD{ERROR_SUCCESS}) << busy;
        EXPECT_EQ(attempts, 4);
        EXPECT_EQ(fake.pauses, (std::vector<DWORD>{50, 100, 200}));
    }
}

TEST(RetryWhileBusy, AStartTheSystemCouldNotCompleteIsTriedAgainOnlyWhenAsked) {
    for (const bool asked : {false, true}) {
        FakeClock fake;
        int attempts = 0;
        const auto start = [&] { return ++attempts < 3 ? DWORD{ERROR_INTERNAL_ERROR} : DWORD{ERROR_SUCCESS}; };
        const DWORD result =
            asked ? RetryWhileBusy(start, fake.clock, IsTransientStartError) : RetryWhileBusy(start, fake.clock);
        EXPECT_EQ(result, asked ? DWORD{ERROR_SUCCESS} : DWORD{ERROR_INTERNAL_ERROR});
        EXPECT_EQ(attempts, asked ? 3 : 1) << "a move or an open is not a start";
    }
    EXPECT_FALSE(IsTransientStartError(ERROR_BAD_EXE_FORMAT)) << "a file that is no program is never one";
}

TEST(RetryWhileBusy, GivesUpAfterTheBudgetWithTheLastError) {
    FakeClock fake;
    int attempts = 0;
    const DWORD result = RetryWhileBusy(
        [&] {
            ++attempts;
            return DWORD{ERROR_SHARING_VIOLATION};
        },
        fake.clock);
    EXPECT_EQ(result, DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_EQ(fake.now - 1000, ULONGLONG{kBusyBudgetMs}) << "pauses fill the budget exactly";
    EXPECT_EQ(static_cast<std::size_t>(attempts), fake.pauses.size() + 1);
    for (const DWORD pause : fake.pauses) {
        EXPECT_LE(pause, 2000u);
    }
}

TEST(RetryWhileBusy, AFileThatIsNoProgramOrMissingFailsAtOnce) {
    for (const DWORD error :
         {DWORD{ERROR_BAD_EXE_FORMAT}, DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_INVALID_PARAMETER}}) {
        FakeClock fake;
        int attempts = 0;
        EXPECT_EQ(RetryWhileBusy(
                      [&] {
                          ++attempts;
                          return error;
                      },
                      fake.clock),
                  error);
        EXPECT_EQ(attempts, 1) << error;
        EXPECT_TRUE(fake.pauses.empty());
    }
}

}  // namespace
}  // namespace repair
