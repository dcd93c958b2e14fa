// The designed fonts of the program's windows at a resolution: the classic dialog sans serif
// and the wide screen face of the titles, or the nearest installed stand-ins.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "window/WindowDesign.h"

namespace snapsift {

// The face that stands for the designed one: the first installed of the designed face and its
// stand-ins, a bitmap face only at 96 DPI (it does not scale cleanly); the designed name when
// none is installed, for the font mapper to resolve.
std::wstring FaceName(Face face, int dpi);

// The font's height in pixels at dpi, as LOGFONT takes it (negative: the character height).
int FontHeight(int centipoints, int dpi);

// Fonts made for one resolution, each made once and deleted with the set.
class FontSet {
public:
    explicit FontSet(int dpi) : dpi_(dpi) {}
    FontSet(const FontSet&) = delete;
    FontSet& operator=(const FontSet&) = delete;
    ~FontSet();

    HFONT Get(const FontStyle& style);

private:
    struct Made {
        FontStyle style;
        HFONT font;
    };

    int dpi_;
    std::vector<Made> fonts_;
};

}  // namespace snapsift
