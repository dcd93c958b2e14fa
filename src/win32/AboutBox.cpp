#include "win32/AboutBox.h"

#include <shellapi.h>

#include <string_view>

#include "platform/WideText.h"
#include "scan/Version.h"
#include "win32/DialogWindow.h"
#include "win32/Dpi.h"

namespace snapsift {

namespace {

constexpr wchar_t kClassName[] = L"Snapsift.AboutBox";
constexpr int kClientWidth = 5730;   // twips
constexpr int kClientHeight = 3825;  // twips
constexpr int kLogoPixels = 48;      // at 96 DPI
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;


constexpr FontStyle kDefault{Face::SansSerif, 825, false};
constexpr FontStyle kHeading{Face::SansSerif, 1200, true};
constexpr FontStyle kLink{Face::SansSerif, 975, true};
constexpr FontStyle kText{Face::SansSerif, 975, false};

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
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, kAboutOK)), TRUE);
}

void AboutBox::Create() {
    if (owner_ == nullptr) {
        owner_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    }
    window_ = CreateDialogWindow(kClassName, kStyle, 0, owner_, ObjectDialogProcedure<AboutBox>,
                                 reinterpret_cast<LPARAM>(this));
    layout_ = TwipsLayout();
    const auto add = [&](const wchar_t* windowClass, DWORD style, int id, const char* text,
                         const TwipsRect& place, const FontStyle& font) {
        const HWND control = CreateControl(window_, windowClass, WS_VISIBLE | style, 0, id, text);
        const bool label = windowClass == std::wstring_view(L"STATIC") && (style & SS_TYPEMASK) == SS_LEFT;
        layout_.Add(control, place, font, 0, label);
        return control;
    };
    constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
    // The button, the only control that takes the focus, then the others in the reverse of
    // their designed order, so that the later is drawn over the earlier where they overlap.
    add(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, kAboutOK, "OK", {4320, 3360, 1260, 345}, kDefault);
    add(L"STATIC", kLabel, kAboutDisclaimer, kAboutDisclaimerText, {120, 3000, 3870, 705}, kDefault);
    add(L"STATIC", SS_ETCHEDHORZ, kAboutLine, "", {90, 2760, 5564, 30}, kDefault);
    add(L"STATIC", kLabel, kAboutDescription, kAboutDescriptionText, {1050, 1440, 4005, 1290}, kText);
    const std::string address = std::string(kMakerAddress);
    add(L"STATIC", kLabel | SS_NOTIFY, kAboutAddress, address.c_str(), {1440, 960, 2925, 255}, kLink);
    add(L"STATIC", kLabel | SS_NOTIFY, kAboutCopyright, kCopyrightLine, {1440, 720, 4005, 315}, kLink);
    add(L"STATIC", kLabel, kAboutVersion, "", {1170, 360, 3885, 345}, kHeading);
    add(L"STATIC", kLabel, kAboutTitle, "", {1170, 120, 3885, 360}, kHeading);
    const HWND icon = add(L"STATIC", SS_ICON, kAboutIcon, "", {120, 120, 780, 780}, kDefault);

    const int dpi = WindowDpi(window_);
    const int logo = MulDiv(kLogoPixels, dpi, kDefaultDpi);
    if (logo_ != nullptr) DestroyIcon(logo_);
    logo_ = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, logo, logo, 0));
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(logo_), 0);
    KeepDpiLayoutToWindow(window_);
    OnLoad();
    SizeForDpi(dpi);
}

void AboutBox::OnLoad() {
    const std::wstring title = WideFromUtf8(kAppTitle);
    SetWindowTextW(window_, (L"About " + title).c_str());
    SetDlgItemTextW(window_, kAboutVersion, (L"Version " + WideFromUtf8(kAppVersion)).c_str());
    SetDlgItemTextW(window_, kAboutTitle, title.c_str());
}

void AboutBox::SizeForDpi(int dpi) {
    layout_.Apply(dpi);
    SetClientSizeTwips(window_, kClientWidth, kClientHeight, dpi);
}

INT_PTR AboutBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:  // Enter and Esc press OK
                    DestroyWindow(window_);
                    return TRUE;
                case kAboutCopyright:
                case kAboutAddress:
                    if (HIWORD(wParam) == STN_CLICKED) openUrl_(WideFromUtf8(kMakerAddress));
                    return TRUE;
            }
            return FALSE;
        case WM_SETCURSOR: {
            const int over = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
            if (over != kAboutCopyright && over != kAboutAddress) return FALSE;
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return DialogResult(window_, TRUE);
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
