#include "ui/progress_layout.h"

#include <gtest/gtest.h>

#include <utility>

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

TEST(ProgressLayout, EverySizeScalesWithTheDpiAndIsTheDesignsAt96) {
    struct Row {
        int dpi;
        SIZE window;
        ControlBox status, bar, detail;
    };
    const Row rows[] = {
        {96, {460, 170}, {22, 22, 400, 24}, {22, 58, 400, 22}, {22, 92, 400, 24}},
        {120, {575, 213}, {28, 28, 500, 30}, {28, 73, 500, 28}, {28, 115, 500, 30}},
        {144, {690, 255}, {33, 33, 600, 36}, {33, 87, 600, 33}, {33, 138, 600, 36}},
        {192, {920, 340}, {44, 44, 800, 48}, {44, 116, 800, 44}, {44, 184, 800, 48}},
        {0, {460, 170}, {22, 22, 400, 24}, {22, 58, 400, 22}, {22, 92, 400, 24}},  // unknown: the design's
    };
    for (const Row& row : rows) {
        const ProgressLayout layout = LayoutForDpi(row.dpi);
        EXPECT_EQ(layout.window.cx, row.window.cx) << row.dpi;
        EXPECT_EQ(layout.window.cy, row.window.cy) << row.dpi;
        EXPECT_TRUE(layout.status == row.status) << row.dpi;
        EXPECT_TRUE(layout.bar == row.bar) << row.dpi;
        EXPECT_TRUE(layout.detail == row.detail) << row.dpi;
    }
}

TEST(ProgressLayout, TheFontIsEightPointsAtTheWindowsDpi) {
    // Whatever height the stock font reports: 8 points at the window's DPI.
    const std::pair<int, int> rows[] = {{96, -11}, {120, -13}, {144, -16}, {192, -21}, {0, -11}};
    for (const auto& [dpi, height] : rows) {
        EXPECT_EQ(DialogFontHeight(dpi), height) << dpi;
    }
    // The stock font is made for the system's DPI: it serves only a window
    // at that DPI.
    const struct {
        const char* what;
        long stockHeight;
        int windowDpi;
        bool serves;
    } stock[] = {{"window and system at 96", -11, 96, true},
                 {"window at 96, system at 144", -16, 96, false},
                 {"window at 144, system at 96", -11, 144, false},
                 {"a stock font of another height", -12, 96, false}};
    for (const auto& row : stock) {
        EXPECT_EQ(StockFontServes(row.stockHeight, row.windowDpi), row.serves) << row.what;
    }
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
