// A window's native controls made from its design (window/WindowDesign.h): each row's window
// class and styles follow from its kind; the controls are placed and given their fonts in twips
// through the window's layout, checked as designed, and shown as designed.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
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

// Whether the layout fits the control's font to its text: labels and links, and check boxes,
// whose text wraps beside the box.
bool FittedToText(ControlKind kind);

// A label that names the control that takes the focus after it, by their indexes.
struct NamingLabel {
    int control, label;
};

// The controls in the design's order, each with the id idOf(index). They are made in the
// z-order that draws a later designed control over an earlier one and keeps every label and
// frame beneath the controls that take the focus: first those in the designed tab order, each
// right after the label that names it (so that screen readers name it after the label), then
// the other labels and frames in the reverse of the design's order. A control inside a frame is
// shown only while the frame is. Each control that takes the focus, or is a link, is given its
// accessible name (names(index)) for screen readers, where the system keeps such names.
std::vector<HWND> CreateDesignedControls(HWND window, const WindowDesign& design,
                                         const std::function<int(int)>& idOf, TwipsLayout& layout,
                                         const std::vector<NamingLabel>& namingLabels,
                                         const std::function<std::string(int)>& names);

// Gives a control the name that screen readers read (through the accessibility property
// service): false where the system keeps no such names.
bool SetAccessibleName(HWND control, const std::string& name);

// The controls inside the frame at `frame`, by index.
std::vector<int> ControlsInside(const WindowDesign& design, int frame);

// The text colour of the labels designed dark blue, from the system's colours and its high
// contrast setting as they are now (see DarkBlueOr).
COLORREF DarkBlueTextColour();

// WM_CTLCOLORSTATIC for the control at `index`: darkBlue text (DarkBlueTextColour) where
// designed, and read-only boxes white like boxes that can be written; FALSE for the system's
// colours.
INT_PTR DesignedStaticColours(const WindowDesign& design, int index, HDC dc, COLORREF darkBlue);

}  // namespace snapsift
