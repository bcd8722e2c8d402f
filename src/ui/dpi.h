#pragma once

#include <windows.h>

namespace repair {

// Declares the process DPI aware before anything reads a DPI or makes a
// window, so that Windows never stretches a 96-DPI bitmap of the window
// (blurry Chinese text): per-monitor aware (v2) where Windows has it (10
// 1703), else system aware (1607 knows the call but not v2). The program has no manifest to say so. A
// refusal (the awareness was already set, as Wine does) is ignored.
void DeclareDpiAwareness();

// The DPI of the monitor a window is on; the system's where Windows cannot
// say (before 10 1607).
int DpiOfWindow(HWND window);

// The DPI the system was started with, which the stock fonts are made for.
int SystemDpi();

}  // namespace repair
