// A window's native controls made from its design (window/WindowDesign.h): each row's window
// class and styles follow from its kind; the controls are placed and given their fonts in twips
// through the window's layout, checked as designed, and shown as designed.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "win32/TwipsLayout.h"
#include "window/WindowDesign.h"

namespace snapsift {

struct NativeClass {
    const wchar_t* windowClass;
    DWORD style;
    DWORD exStyle;
};
NativeClass NativeClassOf(const ControlDesign& row);

// The controls in the design's order, each with the id idOf(index). They are made in the
// z-order that draws a later designed control over an earlier one and keeps every label and
// frame beneath the controls that take the focus: first those in the designed tab order, then
// the others in the reverse of the design's order. A control inside a frame is shown only
// while the frame is.
std::vector<HWND> CreateDesignedControls(HWND window, const WindowDesign& design,
                                         const std::function<int(int)>& idOf, TwipsLayout& layout);

// The controls inside the frame at `frame`, by index.
std::vector<int> ControlsInside(const WindowDesign& design, int frame);

// WM_CTLCOLORSTATIC for the control at `index`: dark blue text where designed, and read-only
// boxes white like boxes that can be written; FALSE for the system's colours.
INT_PTR DesignedStaticColours(const WindowDesign& design, int index, HDC dc);

}  // namespace snapsift
