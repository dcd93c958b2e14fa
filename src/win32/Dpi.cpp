#include "win32/Dpi.h"

namespace snapsift {

namespace {

using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
using AdjustForDpiCall = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using DialogDpiCall = BOOL(WINAPI*)(HWND, int, int);

// A user32 export, or null where this Windows lacks it.
template <typename Call>
Call User32Call(const char* name) {
    return reinterpret_cast<Call>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

constexpr int kDialogDisableAll = 1;             // DDC_DISABLE_ALL
constexpr int kControlDisableFontAndLayout = 3;  // DCDC_DISABLE_FONT_UPDATE | DCDC_DISABLE_RELAYOUT

}  // namespace

int WindowDpi(HWND window) {
    static const auto getDpiForWindow = User32Call<GetDpiForWindowCall>("GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return static_cast<int>(dpi);
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kDefaultDpi;
}

SIZE OuterSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool hasMenu,
                        int dpi) {
    static const auto adjustForDpi = User32Call<AdjustForDpiCall>("AdjustWindowRectExForDpi");
    RECT rect{0, 0, clientWidth, clientHeight};
    if (adjustForDpi != nullptr) {
        adjustForDpi(&rect, style, hasMenu, exStyle, static_cast<UINT>(dpi));
    } else {
        AdjustWindowRectEx(&rect, style, hasMenu, exStyle);
    }
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void KeepDpiLayoutToWindow(HWND dialog) {
    static const auto dialogBehaviour = User32Call<DialogDpiCall>("SetDialogDpiChangeBehavior");
    static const auto controlBehaviour =
        User32Call<DialogDpiCall>("SetDialogControlDpiChangeBehavior");
    if (dialogBehaviour != nullptr) dialogBehaviour(dialog, kDialogDisableAll, kDialogDisableAll);
    if (controlBehaviour == nullptr) return;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        controlBehaviour(child, kControlDisableFontAndLayout, kControlDisableFontAndLayout);
    }
}

}  // namespace snapsift
