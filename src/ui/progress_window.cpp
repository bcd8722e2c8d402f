#include "ui/progress_window.h"

#include <commctrl.h>

#include "ui/dpi.h"
#include "ui/progress_layout.h"
#include "util/constants.h"
#include "util/message_pump.h"
#include "util/scoped.h"
#include "util/system_library.h"

namespace repair {

HWND gWindow = nullptr;
HICON gIcon = nullptr;
HWND gStatus = nullptr;
HWND gProgress = nullptr;
HWND gDetail = nullptr;

namespace {

constexpr DWORD kTextStyle = WS_CHILD | WS_VISIBLE | SS_LEFT;
// The bar runs as a marquee only while no length is known: both Windows'
// and Wine's bars animate only with PBS_MARQUEE, and show no position with it.
constexpr DWORD kBarStyle = WS_CHILD | WS_VISIBLE | PBS_SMOOTH;
constexpr LPARAM kPercentRange = MAKELPARAM(0, 100);
constexpr LPARAM kMarqueeIntervalMs = 30;

using ScopedFont = Scoped<HFONT, GdiObjectTraits<HFONT>>;

// The dialog font made for a DPI the stock font does not serve; the stock
// font itself is never deleted.
ScopedFont gScaledFont;

HWND CreateChild(const wchar_t* className, const wchar_t* text, DWORD style, const ControlBox& box,
                 HINSTANCE instance) {
    return CreateWindowExW(0, className, text, style, box.x, box.y, box.width, box.height, gWindow, nullptr, instance,
                           nullptr);
}

// DEFAULT_GUI_FONT's face at 8 points for the window's DPI; none where the
// stock font already has that height, and it then serves itself.
ScopedFont MakeDialogFont(int dpi) {
    const HGDIOBJ stock = GetStockObject(DEFAULT_GUI_FONT);
    LOGFONTW font = {};
    if (GetObjectW(stock, sizeof(font), &font) == 0 || StockFontServes(font.lfHeight, dpi)) {
        return ScopedFont();
    }
    font.lfHeight = DialogFontHeight(dpi);
    font.lfWidth = 0;
    return ScopedFont(CreateFontIndirectW(&font));
}

void SetBarStyle(LONG_PTR style) {
    if (GetWindowLongPtrW(gProgress, GWL_STYLE) != style) {
        SetWindowLongPtrW(gProgress, GWL_STYLE, style);
    }
}

void Place(HWND control, const ControlBox& box) {
    if (control != nullptr) {
        SetWindowPos(control, nullptr, box.x, box.y, box.width, box.height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// Every control at its place and in its font for a DPI.
void LayOutControls(int dpi) {
    const ProgressLayout layout = LayoutForDpi(dpi);
    Place(gStatus, layout.status);
    Place(gProgress, layout.bar);
    Place(gDetail, layout.detail);
    ScopedFont made = MakeDialogFont(dpi);
    const HFONT font = made ? made.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (const HWND text : {gStatus, gDetail}) {
        if (text != nullptr) {
            SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        }
    }
    // Only now that no control uses it does the font of the last DPI go.
    gScaledFont = std::move(made);
}

}  // namespace

void DrainMessages() {
    PumpMessages();
}

LRESULT CALLBACK ProgressWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            // The run cannot be stopped half way; the window only stops taking input.
            EnableWindow(window, FALSE);
            return 0;
        case WM_DESTROY:
            gWindow = nullptr;
            return 0;
        case WM_CTLCOLORSTATIC:
            // The two lines draw on the window's own background, not in bands
            // of the dialog colour; the bar keeps its own look.
            if (reinterpret_cast<HWND>(lParam) == gStatus || reinterpret_cast<HWND>(lParam) == gDetail) {
                const HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            return DefWindowProcW(window, message, wParam, lParam);
        case WM_DPICHANGED: {
            // Moved to a monitor of another scale: Windows suggests the
            // rectangle that keeps the window's place at the new size.
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            LayOutControls(HIWORD(wParam));
            return 0;
        }
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void CreateProgressWindow() {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_PROGRESS_CLASS;
    // Without comctl32 the bar is missing and the run goes on with the text lines.
    if (const auto initCommonControls = REPAIR_SYSTEM_FUNCTION(kComctl32Dll, InitCommonControlsEx)) {
        initCommonControls(&controls);
    }

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    gIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResourceId));

    WNDCLASSW windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = ProgressWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = gIcon != nullptr ? gIcon : LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kWindowClassName;
    RegisterClassW(&windowClass);

    // Made at the primary screen's origin, where it is shown centred, so that
    // the DPI read is that screen's; sized for it before it is shown.
    gWindow = CreateWindowExW(WS_EX_DLGMODALFRAME, kWindowClassName, kCaption, WS_CAPTION | WS_SYSMENU, 0, 0,
                              kWindowWidth, kWindowHeight, nullptr, nullptr, instance, nullptr);
    if (gWindow == nullptr) {
        return;
    }
    if (gIcon != nullptr) {
        SendMessageW(gWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(gIcon));
        SendMessageW(gWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(gIcon));
    }

    const int dpi = DpiOfWindow(gWindow);
    const ProgressLayout layout = LayoutForDpi(dpi);
    gStatus = CreateChild(L"STATIC", kInitialStatusText, kTextStyle, layout.status, instance);
    gProgress = CreateChild(PROGRESS_CLASSW, nullptr, kBarStyle, layout.bar, instance);
    gDetail = CreateChild(L"STATIC", kInitialDetailText, kTextStyle, layout.detail, instance);
    LayOutControls(dpi);

    const RECT frame = {0, 0, layout.window.cx, layout.window.cy};
    const POINT origin = CentredOrigin(frame, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    SetWindowPos(gWindow, HWND_TOP, origin.x, origin.y, layout.window.cx, layout.window.cy, 0);

    ShowWindow(gWindow, SW_SHOWNORMAL);
    UpdateWindow(gWindow);
    DrainMessages();
}

void ShowRunningWindow() {
    const HWND running = FindWindowW(kWindowClassName, nullptr);
    if (running == nullptr) {
        return;
    }
    if (IsIconic(running)) {
        ShowWindow(running, SW_RESTORE);
    }
    SetForegroundWindow(running);
}

void SetStatus(const std::wstring& status, const std::wstring& detail) {
    if (gStatus != nullptr) {
        SetWindowTextW(gStatus, status.c_str());
    }
    if (gDetail != nullptr) {
        SetWindowTextW(gDetail, detail.c_str());
    }
    DrainMessages();
}

void SetProgress(int percent, bool indeterminate) {
    if (gProgress == nullptr) {
        return;
    }
    if (indeterminate) {
        SetBarStyle(BarStyle(GetWindowLongPtrW(gProgress, GWL_STYLE), true));
        SendMessageW(gProgress, PBM_SETMARQUEE, TRUE, kMarqueeIntervalMs);
    } else {
        SendMessageW(gProgress, PBM_SETMARQUEE, FALSE, 0);
        SetBarStyle(BarStyle(GetWindowLongPtrW(gProgress, GWL_STYLE), false));
        SendMessageW(gProgress, PBM_SETRANGE, 0, kPercentRange);
        SendMessageW(gProgress, PBM_SETPOS, static_cast<WPARAM>(ClampPercent(percent)), 0);
    }
    DrainMessages();
}

}  // namespace repair
