#include "ui/progress_layout.h"

#include <gtest/gtest.h>

namespace repair {
namespace {

POINT Centre(int screenWidth, int screenHeight) {
    return CentredOrigin(RECT{100, 100, 100 + kWindowWidth, 100 + kWindowHeight}, screenWidth, screenHeight);
}

TEST(ProgressLayout, CentresTheWindowAndTruncatesTowardZero) {
    EXPECT_EQ(Centre(1920, 1080).x, 730);
    EXPECT_EQ(Centre(1920, 1080).y, 455);
    EXPECT_EQ(Centre(800, 600).x, 170);
    EXPECT_EQ(Centre(800, 600).y, 215);
    EXPECT_EQ(Centre(1365, 768).x, 452);
    // Narrower than the window: a difference of -1 gives 0, of -3 gives -1.
    EXPECT_EQ(Centre(kWindowWidth - 1, 600).x, 0);
    EXPECT_EQ(Centre(kWindowWidth - 3, 600).x, -1);
}

TEST(ProgressLayout, ClampsThePercentageForTheBar) {
    EXPECT_EQ(ClampPercent(-5), 0);
    EXPECT_EQ(ClampPercent(0), 0);
    EXPECT_EQ(ClampPercent(37), 37);
    EXPECT_EQ(ClampPercent(100), 100);
    EXPECT_EQ(ClampPercent(250), 100);
    EXPECT_EQ(ClampPercent(INT_MIN), 0);
}

}  // namespace
}  // namespace repair
