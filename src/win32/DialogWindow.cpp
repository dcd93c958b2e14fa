#include "win32/DialogWindow.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/WideText.h"
#include "win32/Dpi.h"
#include "win32/TwipsLayout.h"

namespace snapsift {

namespace {

constexpr int kIconResource = 1;

void Register(const wchar_t* className) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, className, &existing)) return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = DefDlgProcW;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = ProgramIcon(false);
    windowClass.hIconSm = ProgramIcon(true);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);
}

void Append(std::vector<WORD>& words, std::wstring_view text) {
    words.insert(words.end(), text.begin(), text.end());
    words.push_back(0);
}

}  // namespace

HICON ProgramIcon(bool small) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource),
                                         IMAGE_ICON, GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON),
                                         GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON),
                                         LR_DEFAULTCOLOR | LR_SHARED));
}

HWND CreateDialogWindow(const wchar_t* className, DWORD style, DWORD exStyle, HWND owner,
                        DLGPROC procedure, LPARAM parameter) {
    Register(className);
    // DLGTEMPLATE: style, extended style, no items, position and size 0 (the window sizes
    // itself in pixels), then no menu, the class and an empty title, in 16-bit words.
    std::vector<WORD> words = {LOWORD(style), HIWORD(style), LOWORD(exStyle), HIWORD(exStyle),
                               0, 0, 0, 0, 0, 0};
    Append(words, className);
    Append(words, L"");
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                      reinterpret_cast<const DLGTEMPLATE*>(words.data()), owner,
                                      procedure, parameter);
}

HWND CreateControl(HWND parent, const wchar_t* windowClass, DWORD style, DWORD exStyle, int id,
                   std::string_view text) {
    return CreateWindowExW(exStyle, windowClass, WideFromUtf8(text).c_str(),
                           WS_CHILD | WS_CLIPSIBLINGS | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

void SetClientSizeTwips(HWND window, int width, int height, int dpi) {
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    const int wantedWidth = TwipsToPixels(width, dpi);
    const int wantedHeight = TwipsToPixels(height, dpi);
    SIZE outer = OuterSizeForClient(wantedWidth, wantedHeight, style, exStyle,
                                    GetMenu(window) != nullptr, dpi);
    constexpr UINT kSizeOnly = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(window, nullptr, 0, 0, outer.cx, outer.cy, kSizeOnly);
    // A menu bar that wraps onto a second line takes its height from the client area.
    RECT client{};
    GetClientRect(window, &client);
    if (client.bottom != wantedHeight) {
        SetWindowPos(window, nullptr, 0, 0, outer.cx, outer.cy + wantedHeight - client.bottom,
                     kSizeOnly);
    }
}

void CentreWindow(HWND window, HWND over) {
    RECT area{};
    if (over != nullptr) {
        GetWindowRect(over, &area);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT frame{};
    GetWindowRect(window, &frame);
    SetWindowPos(window, nullptr, (area.left + area.right - (frame.right - frame.left)) / 2,
                 (area.top + area.bottom - (frame.bottom - frame.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    KeepInWorkArea(window);
}

void KeepInWorkArea(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    const LONG left = std::max(work.left, std::min(frame.left, work.right - (frame.right - frame.left)));
    const LONG top = std::max(work.top, std::min(frame.top, work.bottom - (frame.bottom - frame.top)));
    if (left == frame.left && top == frame.top) return;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MoveToSuggestedCorner(HWND window, LPARAM suggestedRect) {
    const auto* suggested = reinterpret_cast<const RECT*>(suggestedRect);
    SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR DialogResult(HWND dialog, LRESULT result) {
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace snapsift
