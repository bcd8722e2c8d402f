#pragma once

#include <windows.h>

namespace repair {

// The process is DPI aware from its manifest (per-monitor v2, else
// per-monitor), so Windows never stretches a 96-DPI bitmap of the window.

// The DPI of the monitor a window is on; the system's where Windows cannot
// say (before 10 1607).
int DpiOfWindow(HWND window);

// The DPI the system was started with: a window's where Windows cannot
// tell a monitor's own.
int SystemDpi();

}  // namespace repair
