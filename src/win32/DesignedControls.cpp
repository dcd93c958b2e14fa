#include "win32/DesignedControls.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/WideText.h"
#include "win32/DialogWindow.h"

// The accessibility property service's class and properties are defined here, in this file
// alone.
#include <initguid.h>
#include <oleacc.h>

namespace snapsift {

namespace {

// A frame's inside in the dialog's colour, under the etched edge: the window clips its
// children, so nothing else paints there.
LRESULT CALLBACK PaintFrame(HWND frame, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_ERASEBKGND: return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            const HDC dc = BeginPaint(frame, &paint);
            RECT inside{};
            GetClientRect(frame, &inside);
            FillRect(dc, &inside, GetSysColorBrush(COLOR_3DFACE));
            DrawEdge(dc, &inside, EDGE_ETCHED, BF_RECT);
            EndPaint(frame, &paint);
            return 0;
        }
        case WM_NCDESTROY: RemoveWindowSubclass(frame, PaintFrame, 0); break;
        default: break;
    }
    return DefSubclassProc(frame, message, wParam, lParam);
}

Rgb RgbOf(COLORREF colour) {
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

}  // namespace

bool FittedToText(ControlKind kind) { return FitsText(kind) || kind == ControlKind::CheckBox; }

COLORREF DarkBlueTextColour() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    const bool high = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
                      (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
    const Rgb text = DarkBlueOr(RgbOf(GetSysColor(COLOR_3DFACE)), RgbOf(GetSysColor(COLOR_WINDOWTEXT)), high);
    return RGB(text.red, text.green, text.blue);
}

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
        case ControlKind::Link: return {WC_LINK, WS_TABSTOP, 0};
        case ControlKind::Icon: return {L"STATIC", SS_ICON, 0};
        case ControlKind::Frame: return {L"STATIC", SS_ETCHEDFRAME, 0};
        case ControlKind::Rule: return {L"STATIC", SS_BLACKRECT, 0};
        case ControlKind::EtchedRule: return {L"STATIC", SS_ETCHEDHORZ, 0};
    }
    return {L"STATIC", 0, 0};
}

namespace {

IAccPropServices* PropertyServices() {
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&services)))) {
        return nullptr;
    }
    return services;
}

// The name given is taken back as the control goes, so that the service keeps nothing of it.
LRESULT CALLBACK ForgetNameWhenDestroyed(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(control, ForgetNameWhenDestroyed, 0);
        if (IAccPropServices* services = PropertyServices()) {
            const MSAAPROPID name = PROPID_ACC_NAME;
            services->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &name, 1);
            services->Release();
        }
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

}  // namespace

bool SetAccessibleName(HWND control, const std::string& name) {
    IAccPropServices* services = PropertyServices();
    if (services == nullptr) return false;
    const std::wstring wide = WideFromUtf8(name);
    const HRESULT set = services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                                 PROPID_ACC_NAME, wide.c_str());
    services->Release();
    if (FAILED(set)) return false;
    SetWindowSubclass(control, ForgetNameWhenDestroyed, 0, 0);
    return true;
}

std::vector<HWND> CreateDesignedControls(HWND window, const WindowDesign& design,
                                         const std::function<int(int)>& idOf, TwipsLayout& layout,
                                         const std::vector<NamingLabel>& namingLabels,
                                         const std::function<std::string(int)>& names) {
    const int count = static_cast<int>(design.controls.size());
    const auto labelOf = [&](int control) {
        for (const NamingLabel& naming : namingLabels) {
            if (naming.control == control) return naming.label;
        }
        return -1;
    };
    const auto namesAControl = [&](int label) {
        return std::any_of(namingLabels.begin(), namingLabels.end(),
                           [label](const NamingLabel& naming) { return naming.label == label; });
    };
    std::vector<int> order;
    for (const int index : design.tabOrder) {
        if (labelOf(index) >= 0) order.push_back(labelOf(index));
        order.push_back(index);
    }
    for (int i = count - 1; i >= 0; --i) {
        if (!TakesFocus(design.controls[static_cast<std::size_t>(i)].kind) && !namesAControl(i)) order.push_back(i);
    }
    std::vector<HWND> controls(design.controls.size());
    for (const int index : order) {
        const ControlDesign& row = design.controls[static_cast<std::size_t>(index)];
        const NativeClass native = NativeClassOf(row);
        // A link control shows as a link the text that its markup marks.
        const HWND control = CreateControl(window, native.windowClass, native.style, native.exStyle, idOf(index),
                                           row.kind == ControlKind::Link ? "<a>" + row.text + "</a>" : row.text);
        TwipsRect place = row.place;
        if (row.inside >= 0) {
            place.left += design.controls[static_cast<std::size_t>(row.inside)].place.left;
            place.top += design.controls[static_cast<std::size_t>(row.inside)].place.top;
        }
        layout.Add(control, place, row.font, row.kind == ControlKind::DropDownList ? kDriveListRows : 0,
                   FittedToText(row.kind) ? row.kind == ControlKind::CheckBox ? TextFit::BesideBox : TextFit::Whole
                                          : TextFit::None);
        if (row.kind == ControlKind::Frame) SetWindowSubclass(control, PaintFrame, 0, 0);
        if (TakesFocus(row.kind) || row.kind == ControlKind::Link) SetAccessibleName(control, names(index));
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

INT_PTR DesignedStaticColours(const WindowDesign& design, int index, HDC dc, COLORREF darkBlue) {
    if (index < 0 || index >= static_cast<int>(design.controls.size())) return FALSE;
    const ControlDesign& row = design.controls[static_cast<std::size_t>(index)];
    if (row.darkBlue) {
        SetTextColor(dc, darkBlue);
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_3DFACE));  // the colour DarkBlueTextColour reads
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
