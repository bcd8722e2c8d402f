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
