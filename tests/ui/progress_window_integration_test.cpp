#include "ui/progress_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

namespace repair {
namespace {

std::wstring TextOf(HWND window) {
    wchar_t buffer[256] = {};
    GetWindowTextW(window, buffer, 256);
    return buffer;
}

RECT ClientRectOf(HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Records what reaches the progress bar, then lets the control handle it.
struct Sent {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Sent& o) const { return message == o.message && wParam == o.wParam && lParam == o.lParam; }
};
std::vector<Sent> gSent;
WNDPROC gBarProc = nullptr;

LRESULT CALLBACK RecordingBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER) {
        gSent.push_back({message, wParam, lParam});
    }
    return CallWindowProcW(gBarProc, window, message, wParam, lParam);
}

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateProgressWindow();
        ASSERT_NE(gWindow, nullptr);
    }
    void TearDown() override {
        if (gWindow != nullptr) {
            DestroyWindow(gWindow);
        }
    }
    void RecordBar() {
        gSent.clear();
        gBarProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(gProgress, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingBarProc)));
    }
    static int BarPosition() { return static_cast<int>(SendMessageW(gProgress, PBM_GETPOS, 0, 0)); }
};

TEST_F(ProgressWindowTest, IsACentredFixedSizeWindowWithTheCaption) {
    wchar_t className[64] = {};
    GetClassNameW(gWindow, className, 64);
    EXPECT_STREQ(className, L"VandrelRepairBootstrapperWindow");
    EXPECT_EQ(TextOf(gWindow), L"赤砂回廊文件修复");
    EXPECT_TRUE(IsWindowVisible(gWindow));

    RECT frame = {};
    GetWindowRect(gWindow, &frame);
    EXPECT_EQ(frame.right - frame.left, 460);
    EXPECT_EQ(frame.bottom - frame.top, 170);
    EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - 460) / 2);
    EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - 170) / 2);

    const LONG_PTR style = GetWindowLongPtrW(gWindow, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    EXPECT_TRUE(GetWindowLongPtrW(gWindow, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
}

// What a move to a monitor of another scale does; the text of each line,
// in the font the line has, fits inside it at every scale.
TEST_F(ProgressWindowTest, AtEveryScaleTheControlsGrowAndTheirTextFits) {
    const HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(gStatus, WM_GETFONT, 0, 0)), stock) << "the stock font at 96 DPI";
    for (const int dpi : {120, 144, 192, 96}) {
        SCOPED_TRACE(dpi);
        RECT suggested = {10, 20, 10 + MulDiv(460, dpi, 96), 20 + MulDiv(170, dpi, 96)};
        SendMessageW(gWindow, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        RECT frame = {};
        GetWindowRect(gWindow, &frame);
        EXPECT_EQ(frame.left, 10);
        if (suggested.right <= GetSystemMetrics(SM_CXSCREEN)) {  // Wine keeps a window within its desktop
            EXPECT_EQ(frame.right - frame.left, MulDiv(460, dpi, 96)) << "the suggested rectangle";
        }
        RECT bar = ClientRectOf(gProgress);
        EXPECT_EQ(bar.top, MulDiv(58, dpi, 96));
        EXPECT_EQ(bar.bottom - bar.top, MulDiv(22, dpi, 96));
        for (const HWND line : {gStatus, gDetail}) {
            const RECT box = ClientRectOf(line);
            EXPECT_EQ(box.right - box.left, MulDiv(400, dpi, 96));
            const HDC dc = GetDC(line);
            const HGDIOBJ before = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(line, WM_GETFONT, 0, 0)));
            const std::wstring text = TextOf(line);
            SIZE extent = {};
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            SelectObject(dc, before);
            ReleaseDC(line, dc);
            EXPECT_LE(extent.cy, box.bottom - box.top) << "the whole line's height";
            EXPECT_LE(extent.cx, box.right - box.left);
            EXPECT_GT(extent.cy, MulDiv(10, dpi, 96)) << "a font grown with the scale";
            LOGFONTW font = {};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(line, WM_GETFONT, 0, 0)), sizeof(font), &font);
            EXPECT_TRUE(dpi == 96 || font.lfHeight == -MulDiv(8, dpi, 72)) << "8 points, not the stock height scaled";
        }
    }
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(gDetail, WM_GETFONT, 0, 0)), stock) << "back at 96: the stock font";
}

TEST_F(ProgressWindowTest, HasTheStatusLineTheBarAndTheDetailLine) {
    ASSERT_NE(gStatus, nullptr);
    ASSERT_NE(gProgress, nullptr);
    ASSERT_NE(gDetail, nullptr);
    EXPECT_EQ(TextOf(gStatus), L"准备修复客户端...");
    EXPECT_EQ(TextOf(gDetail), L"请稍候，不要关闭此窗口。");

    const RECT status = ClientRectOf(gStatus), bar = ClientRectOf(gProgress), detail = ClientRectOf(gDetail);
    EXPECT_EQ(status.left, 22);
    EXPECT_EQ(status.top, 22);
    EXPECT_EQ(status.right - status.left, 400);
    EXPECT_EQ(status.bottom - status.top, 24);
    EXPECT_EQ(bar.top, 58);
    EXPECT_EQ(bar.bottom - bar.top, 22);
    EXPECT_EQ(detail.top, 92);
    EXPECT_EQ(detail.bottom - detail.top, 24);

    const HFONT dialogFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(gStatus, WM_GETFONT, 0, 0)), dialogFont);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(gDetail, WM_GETFONT, 0, 0)), dialogFont);
    const LONG_PTR barStyle = GetWindowLongPtrW(gProgress, GWL_STYLE);
    EXPECT_TRUE(barStyle & PBS_SMOOTH);
    EXPECT_FALSE(barStyle & PBS_MARQUEE);
}

TEST_F(ProgressWindowTest, WithoutIconResourceTheClassUsesTheApplicationIcon) {
    // The test program carries no icon 101, as a build without resources would.
    EXPECT_EQ(gIcon, nullptr);
    EXPECT_EQ(SendMessageW(gWindow, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrW(gWindow, GCLP_HICON)), LoadIconW(nullptr, IDI_APPLICATION));
}

TEST_F(ProgressWindowTest, SetProgressSendsMarqueeOffRangeAndClampedPosition) {
    RecordBar();
    SetProgress(37, false);
    EXPECT_EQ(gSent,
              (std::vector<Sent>{{PBM_SETMARQUEE, 0, 0}, {PBM_SETRANGE, 0, MAKELPARAM(0, 100)}, {PBM_SETPOS, 37, 0}}));
    EXPECT_EQ(BarPosition(), 37);
    EXPECT_EQ(SendMessageW(gProgress, PBM_GETRANGE, TRUE, 0), 0) << "low limit";
    EXPECT_EQ(SendMessageW(gProgress, PBM_GETRANGE, FALSE, 0), 100) << "high limit";

    gSent.clear();
    SetProgress(-5, false);
    EXPECT_EQ(gSent.back(), (Sent{PBM_SETPOS, 0, 0}));
    SetProgress(250, false);
    EXPECT_EQ(gSent.back(), (Sent{PBM_SETPOS, 100, 0}));
    EXPECT_EQ(BarPosition(), 100);
}

TEST_F(ProgressWindowTest, TheMarqueeRunsOnlyWhileNoLengthIsKnownAndKeepsThePosition) {
    SetProgress(42, false);
    const LONG_PTR before = GetWindowLongPtrW(gProgress, GWL_STYLE);
    RecordBar();
    SetProgress(99, true);
    EXPECT_EQ(gSent, (std::vector<Sent>{{PBM_SETMARQUEE, 1, 30}}));
    EXPECT_EQ(GetWindowLongPtrW(gProgress, GWL_STYLE), before | PBS_MARQUEE) << "a bar that moves, else as it was";

    gSent.clear();
    SetProgress(60, false);
    EXPECT_EQ(gSent,
              (std::vector<Sent>{{PBM_SETMARQUEE, 0, 0}, {PBM_SETRANGE, 0, MAKELPARAM(0, 100)}, {PBM_SETPOS, 60, 0}}));
    EXPECT_EQ(GetWindowLongPtrW(gProgress, GWL_STYLE), before);
    EXPECT_EQ(BarPosition(), 60) << "a position again";
}

TEST_F(ProgressWindowTest, WithoutABarSetProgressDoesNothingNotEvenDrain) {
    const HWND bar = gProgress;
    gProgress = nullptr;
    PostMessageW(gWindow, WM_USER + 7, 0, 0);
    SetProgress(50, false);
    MSG pending = {};
    EXPECT_TRUE(PeekMessageW(&pending, gWindow, WM_USER + 7, WM_USER + 7, PM_NOREMOVE)) << "queue not drained";
    gProgress = bar;
    SetStatus(L"a", L"b");
    EXPECT_FALSE(PeekMessageW(&pending, gWindow, WM_USER + 7, WM_USER + 7, PM_NOREMOVE)) << "SetStatus drains";
}

TEST_F(ProgressWindowTest, SetStatusReplacesBothLines) {
    SetStatus(L"", L"下载完成后将自动开始检查并修复。 50%");
    EXPECT_EQ(TextOf(gStatus), L"");
    EXPECT_EQ(TextOf(gDetail), L"下载完成后将自动开始检查并修复。 50%");
}

TEST_F(ProgressWindowTest, ACloseRequestDisablesTheWindowInsteadOfClosingIt) {
    PostMessageW(gWindow, WM_CLOSE, 0, 0);
    SetStatus(L"s", L"d");  // the request is handled while the queue is drained
    EXPECT_TRUE(IsWindow(gWindow));
    EXPECT_FALSE(IsWindowEnabled(gWindow));
    SendMessageW(gWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(IsWindow(gWindow));
    SetProgress(10, false);
    EXPECT_EQ(BarPosition(), 10) << "updates go on";
}

TEST_F(ProgressWindowTest, DestroyingClearsOnlyTheWindowHandle) {
    const HWND status = gStatus, bar = gProgress, detail = gDetail;
    DestroyWindow(gWindow);
    EXPECT_EQ(gWindow, nullptr);
    EXPECT_EQ(gStatus, status);
    EXPECT_EQ(gProgress, bar);
    EXPECT_EQ(gDetail, detail);
}

}  // namespace
}  // namespace repair
