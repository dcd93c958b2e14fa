// Controls placed in twips (1/1440 inch) in their window, each with its designed font; placed
// and given their fonts again whenever the window's resolution changes.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "win32/Fonts.h"

namespace snapsift {

struct PixelRect {
    int left, top, width, height;
    bool operator==(const PixelRect&) const = default;
};

// Twips to pixels at dpi (15 twips a pixel at 96 DPI), rounded to the nearest pixel.
int TwipsToPixels(int twips, int dpi);
// Edges are rounded, not sizes, so that neighbouring controls never overlap or part.
PixelRect ToPixels(const TwipsRect& rect, int dpi);

// Whether a control's font is fitted to its text: not at all, to the whole box (a label), or to
// the part of the box beside a check box's box.
enum class TextFit { None, Whole, BesideBox };

class TwipsLayout {
public:
    // place: the control's rectangle in its parent's client area; for a drop-down list the
    // closed box, whose open list shows dropDownRows entries. A control that fits its text gets
    // its font a little smaller when a stand-in face needs that for the text to fit the box
    // (never below 70 % of the designed size).
    void Add(HWND control, const TwipsRect& place, const FontStyle& font, int dropDownRows = 0,
             TextFit fit = TextFit::None);
    // Places every control and gives it its font at dpi.
    void Apply(int dpi);
    // Fits a label's font to its text again, after the text has changed.
    void FitText(HWND control);
    int Dpi() const { return dpi_; }

private:
    struct Item {
        HWND control;
        TwipsRect place;
        FontStyle font;
        int dropDownRows;
        TextFit fit;
    };
    void Place(const Item& item);
    void GiveFont(const Item& item);

    std::vector<Item> items_;
    std::unique_ptr<FontSet> fonts_;
    int dpi_ = 0;
};

}  // namespace snapsift
