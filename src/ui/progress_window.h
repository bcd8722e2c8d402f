#pragma once

#include <windows.h>

#include <string>

namespace repair {

// Set once by CreateProgressWindow; gWindow is cleared again on WM_DESTROY.
extern HWND gWindow;
extern HICON gIcon;
extern HWND gStatus;
extern HWND gProgress;
extern HWND gDetail;

void CreateProgressWindow();
void SetStatus(const std::wstring& status, const std::wstring& detail);
void SetProgress(int percent, bool indeterminate);

// Brings the window of a run already in progress to the front, when there is
// one on this desktop.
void ShowRunningWindow();

// Services the window's queue; there is no other message loop.
void DrainMessages();
LRESULT CALLBACK ProgressWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace repair
