#include "ui/progress_layout.h"

namespace repair {

POINT CentredOrigin(const RECT& window, int screenWidth, int screenHeight) {
    const int x = (screenWidth - (window.right - window.left)) / 2;
    const int y = (screenHeight - (window.bottom - window.top)) / 2;
    return POINT{x, y};
}

int ClampPercent(int percent) {
    if (percent < 0) {
        return 0;
    }
    return percent > 100 ? 100 : percent;
}

}  // namespace repair
