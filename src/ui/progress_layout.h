#pragma once

#include <windows.h>

namespace repair {

inline constexpr int kWindowWidth = 460;
inline constexpr int kWindowHeight = 170;

// Top-left corner that centres a window rectangle on a screen of the given
// size; truncates toward zero, so a window wider than the screen may sit at
// a negative x.
POINT CentredOrigin(const RECT& window, int screenWidth, int screenHeight);

// The bar's position for a percentage: clamped to 0..100.
int ClampPercent(int percent);

}  // namespace repair
