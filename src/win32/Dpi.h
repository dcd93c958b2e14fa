// A window's resolution and the window-frame arithmetic at it, for a program that is aware of
// each monitor's resolution. The calls that only newer Windows has are looked up at run time;
// older systems get the system-wide resolution.
#pragma once

#include <windows.h>

namespace snapsift {

inline constexpr int kDefaultDpi = 96;

// The resolution the window is drawn at (96 on a monitor at 100 %).
int WindowDpi(HWND window);

// The outer size of a window whose client area is clientWidth by clientHeight pixels at dpi,
// with a one-line menu bar when hasMenu.
SIZE OuterSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool hasMenu,
                        int dpi);

// Takes the automatic re-layout on a change of resolution away from a dialog and its controls;
// the window lays itself out again in WM_DPICHANGED.
void KeepDpiLayoutToWindow(HWND dialog);

}  // namespace snapsift
