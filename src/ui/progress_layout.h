#pragma once

#include <windows.h>

namespace repair {

// The window's sizes as designed, at 96 DPI (100 %).
inline constexpr int kBaseDpi = 96;
inline constexpr int kWindowWidth = 460;
inline constexpr int kWindowHeight = 170;
// The em height of the dialog font at 96 DPI: 8 points.
inline constexpr int kBaseFontHeight = -11;

// One child control's place inside the window's client area.
struct ControlBox {
    int x;
    int y;
    int width;
    int height;
    bool operator==(const ControlBox& other) const {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
};

// Every size and position of the window at one DPI: the design's figures
// times dpi / 96, rounded as MulDiv rounds, so that at 96 they are exactly
// the design's.
struct ProgressLayout {
    SIZE window;
    ControlBox status;
    ControlBox bar;
    ControlBox detail;
};
ProgressLayout LayoutForDpi(int dpi);

// The dialog font's height for a window at dpi, from the height the stock
// font has at the DPI it was made for.
int FontHeightForDpi(int stockHeight, int stockDpi, int dpi);

// Top-left corner that centres a window rectangle on a screen of the given
// size; truncates toward zero, so a window wider than the screen may sit at
// a negative x.
POINT CentredOrigin(const RECT& window, int screenWidth, int screenHeight);

// The bar's position for a percentage: clamped to 0..100.
int ClampPercent(int percent);

}  // namespace repair
