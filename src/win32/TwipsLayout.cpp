#include "win32/TwipsLayout.h"

#include <commctrl.h>

#include <cmath>
#include <string>
#include <string_view>

namespace snapsift {

int TwipsToPixels(int twips, int dpi) {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

PixelRect ToPixels(const TwipsRect& rect, int dpi) {
    const int left = TwipsToPixels(rect.left, dpi);
    const int top = TwipsToPixels(rect.top, dpi);
    return {left, top, TwipsToPixels(rect.left + rect.width, dpi) - left,
            TwipsToPixels(rect.top + rect.height, dpi) - top};
}

void TwipsLayout::Add(HWND control, const TwipsRect& place, const FontStyle& font,
                      int dropDownRows, TextFit fit) {
    items_.push_back({control, place, font, dropDownRows, fit});
}

void TwipsLayout::Apply(int dpi) {
    // The old fonts stay alive until every control has been given its new one.
    const std::unique_ptr<FontSet> old = std::move(fonts_);
    fonts_ = std::make_unique<FontSet>(dpi);
    dpi_ = dpi;
    for (const Item& item : items_) {
        GiveFont(item);
        Place(item);
    }
}

void TwipsLayout::FitText(HWND control) {
    for (const Item& item : items_) {
        if (item.control == control && fonts_ != nullptr) GiveFont(item);
    }
}

void TwipsLayout::GiveFont(const Item& item) {
    HFONT chosen = fonts_->Get(item.font);
    if (item.fit != TextFit::None) {
        PixelRect box = ToPixels(item.place, dpi_);
        // A check box's text starts past its box and the gap after it, 13 and 4 pixels at 96 DPI.
        if (item.fit == TextFit::BesideBox) box.width -= MulDiv(17, dpi_, 96);
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item.control)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(GetWindowTextW(item.control, text.data(), static_cast<int>(text.size()))));
        // A link control's text holds the markup of its links, which it does not show.
        wchar_t windowClass[16] = {};
        GetClassNameW(item.control, windowClass, 16);
        if (lstrcmpiW(windowClass, WC_LINK) == 0) {
            for (const std::wstring_view tag : {std::wstring_view(L"<a>"), std::wstring_view(L"</a>")}) {
                for (std::size_t at; (at = text.find(tag)) != std::wstring::npos;) text.erase(at, tag.size());
            }
        }
        const int length = static_cast<int>(text.size());
        const HDC dc = GetDC(item.control);
        FontStyle style = item.font;
        for (; style.centipoints * 10 >= item.font.centipoints * 7; style.centipoints -= 25) {
            const HFONT font = fonts_->Get(style);
            const HGDIOBJ previous = SelectObject(dc, font);
            RECT needed{0, 0, box.width, 0};
            DrawTextW(dc, text.c_str(), length, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            SelectObject(dc, previous);
            if (needed.right <= box.width && needed.bottom <= box.height) {
                chosen = font;
                break;
            }
        }
        ReleaseDC(item.control, dc);
    }
    SendMessageW(item.control, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
}

void TwipsLayout::Place(const Item& item) {
    constexpr UINT kPlace = SWP_NOZORDER | SWP_NOACTIVATE;
    const PixelRect place = ToPixels(item.place, dpi_);
    SetWindowPos(item.control, nullptr, place.left, place.top, place.width, place.height, kPlace);
    if (item.dropDownRows == 0) return;
    // A drop-down list's height is that of its open list; the closed box follows the height of
    // its selection field, which is set so that the box gets its designed height. (Some
    // systems give the field a little more than asked for: the asking is repeated.)
    LRESULT field = SendMessageW(item.control, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    for (int pass = 0; pass < 3; ++pass) {
        RECT closed{};
        GetWindowRect(item.control, &closed);
        const LONG missing = place.height - (closed.bottom - closed.top);
        if (missing == 0) break;
        field += missing;
        SendMessageW(item.control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    }
    const LRESULT row = SendMessageW(item.control, CB_GETITEMHEIGHT, 0, 0);
    SetWindowPos(item.control, nullptr, place.left, place.top, place.width,
                 place.height + static_cast<int>(row) * item.dropDownRows + 2, kPlace);
}

}  // namespace snapsift
