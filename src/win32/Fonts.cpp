#include "win32/Fonts.h"

#include <array>

namespace snapsift {

namespace {

struct Installed {
    bool found = false;
    bool raster = false;
};

int CALLBACK NoteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD fontType, LPARAM found) {
    auto* installed = reinterpret_cast<Installed*>(found);
    installed->found = true;
    installed->raster = installed->raster || (fontType & RASTER_FONTTYPE) != 0;
    return 0;  // the first answer is enough
}

Installed LookUp(const wchar_t* name) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, name, LF_FACESIZE);
    Installed installed;
    const HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, NoteFace, reinterpret_cast<LPARAM>(&installed), 0);
    ReleaseDC(nullptr, screen);
    return installed;
}

// Nearest first: the metric-compatible faces, then the free ones of the same cut.
constexpr std::array<const wchar_t*, 3> kSansSerif = {L"MS Sans Serif", L"Microsoft Sans Serif",
                                                      L"Tahoma"};
constexpr std::array<const wchar_t*, 3> kVerdana = {L"Verdana", L"DejaVu Sans", L"Tahoma"};

}  // namespace

std::wstring FaceName(Face face, int dpi) {
    const auto& names = face == Face::Verdana ? kVerdana : kSansSerif;
    for (const wchar_t* name : names) {
        const Installed installed = LookUp(name);
        if (installed.found && (!installed.raster || dpi == 96)) return name;
    }
    return names.front();
}

int FontHeight(int centipoints, int dpi) { return -MulDiv(centipoints, dpi, 7200); }

FontSet::~FontSet() {
    for (const Made& made : fonts_) DeleteObject(made.font);
}

HFONT FontSet::Get(const FontStyle& style) {
    for (const Made& made : fonts_) {
        if (made.style == style) return made.font;
    }
    LOGFONTW font{};
    font.lfHeight = FontHeight(style.centipoints, dpi_);
    font.lfWeight = style.bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, FaceName(style.face, dpi_).c_str(), LF_FACESIZE);
    const HFONT made = CreateFontIndirectW(&font);
    fonts_.push_back({style, made});
    return made;
}

}  // namespace snapsift
