#include "ui/progress_window.h"

#include <commctrl.h>

#include "util/constants.h"
#include "ui/progress_layout.h"
#include "util/message_pump.h"
#include "util/system_library.h"

namespace repair {

HWND gWindow = nullptr;
HICON gIcon = nullptr;
HWND gStatus = nullptr;
HWND gProgress = nullptr;
HWND gDetail = nullptr;

namespace {

constexpr int kChildLeft = 22;
constexpr int kChildWidth = 400;
constexpr DWORD kTextStyle = WS_CHILD | WS_VISIBLE | SS_LEFT;
constexpr DWORD kBarStyle = WS_CHILD | WS_VISIBLE | PBS_SMOOTH;
constexpr LPARAM kPercentRange = MAKELPARAM(0, 100);
constexpr LPARAM kMarqueeIntervalMs = 30;

HWND CreateChild(const wchar_t* className, const wchar_t* text, DWORD style, int y, int height, HINSTANCE instance) {
    return CreateWindowExW(0, className, text, style, kChildLeft, y, kChildWidth, height, gWindow, nullptr, instance,
                           nullptr);
}

void UseDialogFont(HWND control) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
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

    gWindow = CreateWindowExW(WS_EX_DLGMODALFRAME, kWindowClassName, kCaption, WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                              CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr, nullptr, instance, nullptr);
    if (gWindow == nullptr) {
        return;
    }
    if (gIcon != nullptr) {
        SendMessageW(gWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(gIcon));
        SendMessageW(gWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(gIcon));
    }

    gStatus = CreateChild(L"STATIC", kInitialStatusText, kTextStyle, 22, 24, instance);
    UseDialogFont(gStatus);
    gProgress = CreateChild(PROGRESS_CLASSW, nullptr, kBarStyle, 58, 22, instance);
    gDetail = CreateChild(L"STATIC", kInitialDetailText, kTextStyle, 92, 24, instance);
    UseDialogFont(gDetail);

    RECT frame = {};
    GetWindowRect(gWindow, &frame);
    const POINT origin = CentredOrigin(frame, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    SetWindowPos(gWindow, HWND_TOP, origin.x, origin.y, 0, 0, SWP_NOSIZE);

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
        SendMessageW(gProgress, PBM_SETMARQUEE, TRUE, kMarqueeIntervalMs);
    } else {
        SendMessageW(gProgress, PBM_SETMARQUEE, FALSE, 0);
        SendMessageW(gProgress, PBM_SETRANGE, 0, kPercentRange);
        SendMessageW(gProgress, PBM_SETPOS, static_cast<WPARAM>(ClampPercent(percent)), 0);
    }
    DrainMessages();
}

}  // namespace repair
