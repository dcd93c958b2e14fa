#include "win32/AboutBox.h"

#include <commctrl.h>
#include <shellapi.h>

#include <vector>

#include "platform/WideText.h"
#include "window/AboutText.h"
#include "win32/DesignedControls.h"
#include "win32/DialogWindow.h"
#include "win32/Dpi.h"

namespace snapsift {

namespace {

constexpr wchar_t kClassName[] = L"Snapsift.AboutBox";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

void OpenWithShell(const std::wstring& address) {
    ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

AboutBox::AboutBox(UrlOpener openUrl) : openUrl_(std::move(openUrl)) {
    if (!openUrl_) openUrl_ = OpenWithShell;
}

AboutBox::~AboutBox() {
    closed_ = nullptr;
    if (window_ != nullptr) DestroyWindow(window_);
    if (owner_ != nullptr) DestroyWindow(owner_);
    if (logo_ != nullptr) DestroyIcon(logo_);
}

void AboutBox::Show(HWND over) {
    if (window_ == nullptr) {
        Create();
        CentreWindow(window_, over);
    }
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, IDOK)), TRUE);
}

void AboutBox::Create() {
    const INITCOMMONCONTROLSEX links{sizeof links, ICC_LINK_CLASS};
    InitCommonControlsEx(&links);
    if (owner_ == nullptr) {
        owner_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    }
    window_ = CreateDialogWindow(kClassName, kStyle, 0, owner_, ObjectDialogProcedure<AboutBox>,
                                 reinterpret_cast<LPARAM>(this));
    layout_ = TwipsLayout();
    const WindowDesign& design = AboutBoxDesign();
    SetWindowTextW(window_, WideFromUtf8(design.caption).c_str());
    const std::vector<HWND> controls = CreateDesignedControls(
        window_, design, [](int index) { return AboutControlId(static_cast<AboutControl>(index)); }, layout_, {},
        [](int index) { return AccessibleName(static_cast<AboutControl>(index)); });

    const int dpi = WindowDpi(window_);
    const int logo = MulDiv(kIconPixels, dpi, kDefaultDpi);
    if (logo_ != nullptr) DestroyIcon(logo_);
    logo_ = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, logo, logo, 0));
    SendMessageW(controls[static_cast<std::size_t>(AboutControl::Icon)], STM_SETICON,
                 reinterpret_cast<WPARAM>(logo_), 0);
    KeepDpiLayoutToWindow(window_);
    SizeForDpi(dpi);
}

void AboutBox::SizeForDpi(int dpi) {
    layout_.Apply(dpi);
    SetClientSizeTwips(window_, AboutBoxDesign().clientWidth, AboutBoxDesign().clientHeight, dpi);
}

INT_PTR AboutBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:  // Enter and Esc press OK
                    DestroyWindow(window_);
                    return TRUE;
            }
            return FALSE;
        case WM_NOTIFY: {
            // Either link, clicked or given Enter, opens the maker's page.
            const auto* note = reinterpret_cast<const NMHDR*>(lParam);
            const bool link = note->idFrom == AboutControlId(AboutControl::Copyright) ||
                              note->idFrom == AboutControlId(AboutControl::Address);
            if (!link || (note->code != NM_CLICK && note->code != NM_RETURN)) return FALSE;
            openUrl_(WideFromUtf8(kMakerAddress));
            return TRUE;
        }
        case WM_DPICHANGED:
            MoveToSuggestedCorner(window_, lParam);
            SizeForDpi(LOWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(window_);
            return TRUE;
        case WM_DESTROY:
            window_ = nullptr;
            if (closed_) closed_();
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace snapsift
