#include "ui/progress_layout.h"

#include <commctrl.h>

namespace repair {
namespace {

constexpr int kChildLeft = 22;
constexpr int kChildWidth = 400;
constexpr ControlBox kStatusBox = {kChildLeft, 22, kChildWidth, 24};
constexpr ControlBox kBarBox = {kChildLeft, 58, kChildWidth, 22};
constexpr ControlBox kDetailBox = {kChildLeft, 92, kChildWidth, 24};

int Scale(int value, int dpi) {
    return MulDiv(value, dpi, kBaseDpi);
}

ControlBox Scale(const ControlBox& box, int dpi) {
    return ControlBox{Scale(box.x, dpi), Scale(box.y, dpi), Scale(box.width, dpi), Scale(box.height, dpi)};
}

}  // namespace

ProgressLayout LayoutForDpi(int dpi) {
    // A DPI that cannot be had is taken as the design's.
    if (dpi <= 0) {
        dpi = kBaseDpi;
    }
    return ProgressLayout{SIZE{Scale(kWindowWidth, dpi), Scale(kWindowHeight, dpi)}, Scale(kStatusBox, dpi),
                          Scale(kBarBox, dpi), Scale(kDetailBox, dpi)};
}

int DialogFontHeight(int dpi) {
    return -MulDiv(kDialogFontPoints, dpi > 0 ? dpi : kBaseDpi, 72);
}

bool StockFontServes(long stockHeight, int dpi) {
    return stockHeight == DialogFontHeight(dpi);
}

POINT CentredOrigin(const RECT& window, int screenWidth, int screenHeight) {
    const int x = (screenWidth - (window.right - window.left)) / 2;
    const int y = (screenHeight - (window.bottom - window.top)) / 2;
    return POINT{x, y};
}

LONG_PTR BarStyle(LONG_PTR style, bool marquee) {
    return marquee ? style | PBS_MARQUEE : style & ~static_cast<LONG_PTR>(PBS_MARQUEE);
}

int ClampPercent(int percent) {
    if (percent < 0) {
        return 0;
    }
    return percent > 100 ? 100 : percent;
}

}  // namespace repair
