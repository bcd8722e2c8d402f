#include "ui/dpi.h"

#include "ui/progress_layout.h"

namespace repair {
namespace {

template <typename Function>
Function User32Function(const char* name) {
    const HMODULE user = GetModuleHandleW(L"user32.dll");
    return user ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user, name))) : nullptr;
}

}  // namespace

void DeclareDpiAwareness() {
    using SetContextFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    using SetAwareFn = BOOL(WINAPI*)();
    const auto setContext = User32Function<SetContextFn>("SetProcessDpiAwarenessContext");
    if (setContext != nullptr && (setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) != FALSE ||
                                  GetLastError() != ERROR_INVALID_PARAMETER)) {
        return;
    }
    // Windows 10 1607 has the call but not v2, and refuses it as invalid.
    if (const auto setAware = User32Function<SetAwareFn>("SetProcessDPIAware")) {
        setAware();
    }
}

int SystemDpi() {
    const HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return kBaseDpi;
    }
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

int DpiOfWindow(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto getDpi = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    const UINT dpi = getDpi ? getDpi(window) : 0;
    return dpi != 0 ? static_cast<int>(dpi) : SystemDpi();
}

}  // namespace repair
