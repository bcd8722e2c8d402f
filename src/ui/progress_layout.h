#pragma once

#include <windows.h>

namespace repair {

// The window's sizes as designed, at 96 DPI (100 %).
inline constexpr int kBaseDpi = 96;
inline constexpr int kWindowWidth = 460;
inline constexpr int kWindowHeight = 170;
// The dialog font's size: 8 points, -11 pixels of em height at 96 DPI.
inline constexpr int kDialogFontPoints = 8;

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

// The dialog font's LOGFONT height (negative: the em height) for a window
// at dpi: 8 points at that DPI. Never taken from the stock font's own
// height, which Windows does not reliably make for the system's DPI.
int DialogFontHeight(int dpi);

// Whether the stock font, of the given LOGFONT height, is already the
// dialog font for a window at dpi. It is made for the system's DPI, which
// a window on another monitor does not share (a 100 % monitor beside a
// 150 % main one).
bool StockFontServes(long stockHeight, int dpi);

// Top-left corner that centres a window rectangle on a screen of the given
// size; truncates toward zero, so a window wider than the screen may sit at
// a negative x.
POINT CentredOrigin(const RECT& window, int screenWidth, int screenHeight);

// The bar's window style with PBS_MARQUEE set while no length is known,
// cleared once one is; every other bit as it was.
LONG_PTR BarStyle(LONG_PTR style, bool marquee);

// The bar's position for a percentage: clamped to 0..100.
int ClampPercent(int percent);

}  // namespace repair
