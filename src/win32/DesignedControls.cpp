#include "win32/DesignedControls.h"

#include "win32/DialogWindow.h"

namespace snapsift {

NativeClass NativeClassOf(const ControlDesign& row) {
    constexpr DWORD kLabel = SS_NOPREFIX;
    switch (row.kind) {
        case ControlKind::PushButton: return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
        case ControlKind::DefaultButton: return {L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, 0};
        case ControlKind::CheckBox: return {L"BUTTON", BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP, 0};
        case ControlKind::TextBox: return {L"EDIT", ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::PathBox: return {L"EDIT", ES_MULTILINE | ES_READONLY | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::DropDownList: return {L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
        case ControlKind::Label:
            return {L"STATIC", (row.align == Align::Centre ? SS_CENTER : SS_LEFT) | kLabel, 0};
        case ControlKind::Link: return {L"STATIC", SS_LEFT | kLabel | SS_NOTIFY, 0};
        case ControlKind::Icon: return {L"STATIC", SS_ICON, 0};
        case ControlKind::Frame: return {L"STATIC", SS_ETCHEDFRAME, 0};
        case ControlKind::Rule: return {L"STATIC", SS_BLACKRECT, 0};
        case ControlKind::EtchedRule: return {L"STATIC", SS_ETCHEDHORZ, 0};
    }
    return {L"STATIC", 0, 0};
}

std::vector<HWND> CreateDesignedControls(HWND window, const WindowDesign& design,
                                         const std::function<int(int)>& idOf, TwipsLayout& layout) {
    const int count = static_cast<int>(design.controls.size());
    std::vector<int> order = design.tabOrder;
    for (int i = count - 1; i >= 0; --i) {
        if (!TakesFocus(design.controls[static_cast<std::size_t>(i)].kind)) order.push_back(i);
    }
    std::vector<HWND> controls(design.controls.size());
    for (const int index : order) {
        const ControlDesign& row = design.controls[static_cast<std::size_t>(index)];
        const NativeClass native = NativeClassOf(row);
        const HWND control = CreateControl(window, native.windowClass, native.style, native.exStyle,
                                           idOf(index), row.text.c_str());
        TwipsRect place = row.place;
        if (row.inside >= 0) {
            place.left += design.controls[static_cast<std::size_t>(row.inside)].place.left;
            place.top += design.controls[static_cast<std::size_t>(row.inside)].place.top;
        }
        layout.Add(control, place, row.font, row.kind == ControlKind::DropDownList ? kDriveListRows : 0,
                   FitsText(row.kind));
        if (row.kind == ControlKind::CheckBox && row.checked) SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
        controls[static_cast<std::size_t>(index)] = control;
    }
    // Shown only now, so that the window is not drawn piece by piece.
    for (const int index : order) {
        const ControlDesign& row = design.controls[static_cast<std::size_t>(index)];
        const bool frameShown = row.inside < 0 || design.controls[static_cast<std::size_t>(row.inside)].visible;
        if (row.visible && frameShown) ShowWindow(controls[static_cast<std::size_t>(index)], SW_SHOWNA);
    }
    return controls;
}

std::vector<int> ControlsInside(const WindowDesign& design, int frame) {
    std::vector<int> inside;
    for (std::size_t i = 0; i < design.controls.size(); ++i) {
        if (design.controls[i].inside == frame) inside.push_back(static_cast<int>(i));
    }
    return inside;
}

INT_PTR DesignedStaticColours(const WindowDesign& design, int index, HDC dc) {
    if (index < 0 || index >= static_cast<int>(design.controls.size())) return FALSE;
    const ControlDesign& row = design.controls[static_cast<std::size_t>(index)];
    if (row.darkBlue) {
        SetTextColor(dc, RGB(kDarkBlue[0], kDarkBlue[1], kDarkBlue[2]));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    if (row.kind == ControlKind::TextBox || row.kind == ControlKind::PathBox) {
        // Read-only, but white like a text box that can be written.
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
    }
    return FALSE;
}

}  // namespace snapsift
