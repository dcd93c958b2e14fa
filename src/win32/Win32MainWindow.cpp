#include "win32/Win32MainWindow.h"

#include "platform/WideText.h"
#include "scan/Version.h"
#include "win32/DialogWindow.h"
#include "win32/Dpi.h"
#include "win32/MessageLoop.h"
#include "win32/SystemDialogs.h"

namespace snapsift {

namespace {

constexpr wchar_t kClassName[] = L"Snapsift.MainWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr int kClientWidth = 6990;  // twips
constexpr int kDriveListRows = 8;
constexpr COLORREF kDarkBlue = RGB(0, 0, 0x80);

constexpr FontStyle kDefault{Face::SansSerif, 825, false};
constexpr FontStyle kBold{Face::SansSerif, 825, true};
constexpr FontStyle kLarger{Face::SansSerif, 975, false};
constexpr FontStyle kLargerBold{Face::SansSerif, 975, true};
constexpr FontStyle kVerdana12{Face::Verdana, 1200, true};
constexpr FontStyle kVerdana18{Face::Verdana, 1800, true};

constexpr DWORD kPush = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kCheck = BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP;
constexpr DWORD kBox = ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;

struct ControlPlan {
    Control control;
    const wchar_t* windowClass;
    DWORD style;
    const char* text;
    TwipsRect place;  // ProgressFrame's children: inside ProgressFrame
    FontStyle font;
    bool visible;
};

constexpr TwipsRect kFrame1{0, 4680, 6975, 1575};

// The tab stops in their designed tab order, then the labels, the line and the frame, beneath
// every tab stop in the z-order, so that no label or frame is ever drawn over a control; among
// them the later in the designed creation order is drawn over the earlier.
const ControlPlan kControls[] = {
    {Control::SourceBrowseButton, L"BUTTON", kPush, "Browse", {5640, 1800, 1215, 375}, kDefault, false},
    {Control::SearchSubfolders, L"BUTTON", kCheck, "Search subfolders", {2880, 1200, 1095, 495}, kDefault, false},
    {Control::OutputBrowseButton, L"BUTTON", kPush, "Browse", {5640, 3240, 1215, 375}, kDefault, true},
    {Control::StartButton, L"BUTTON", kPush, "START", {2160, 3960, 2295, 615}, kVerdana12, true},
    {Control::AbortButton, L"BUTTON", kPush, "ABORT", {2160, 3960, 2295, 615}, kVerdana12, false},
    {Control::IncludePhotos, L"BUTTON", kCheck, "Include photos in report", {4680, 4155, 2055, 255}, kDefault,
     true},
    {Control::SourceFolderBox, L"EDIT", kBox, "", {480, 1800, 5055, 375}, kDefault, false},
    {Control::OutputFolderBox, L"EDIT", kBox, "", {120, 3240, 5415, 375}, kDefault, true},
    {Control::DriveList, L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, "",
     {480, 1800, 5055, 360}, kLarger, true},
    {Control::ProfileFoldersOnly, L"BUTTON", kCheck, "Only Search User Profile Folders On Selected Drive",
     {4200, 1200, 2175, 495}, kDefault, true},
    {Control::HelpButton, L"BUTTON", kPush, "?", {6480, 1275, 375, 375}, kLargerBold, true},
    {Control::ShownPath, L"EDIT", ES_MULTILINE | ES_READONLY | WS_TABSTOP, "", {120, 480, 6735, 975},
     kLarger, false},
    {Control::TitleLabel, L"STATIC", SS_CENTER | SS_NOPREFIX, "", {240, 75, 6495, 495}, kVerdana18, true},
    {Control::CopyrightLabel, L"STATIC", SS_CENTER | SS_NOPREFIX, kCopyrightLine, {240, 615, 6495, 375},
     kVerdana12, true},
    {Control::SourceCaption, L"STATIC", kLabel, "Select a source:", {120, 1440, 1455, 255}, kBold, true},
    {Control::OutputCaption, L"STATIC", kLabel, "Select an output folder:", {120, 2880, 2175, 255}, kBold, true},
    {Control::ReportNote, L"STATIC", kLabel,
     "(an HTML report file called 'Quorvia JPG Files.htm' will be saved to this folder, along with "
     "copies of all the located image files)",
     {2400, 2520, 3735, 735}, kDefault, true},
    {Control::Divider, L"STATIC", SS_BLACKRECT, "", {0, 2400, 6960, 15}, kDefault, true},
    {Control::ScanningLabel, L"STATIC", kLabel, "Scanning:", {120, 160, 855, 255}, kBold, false},
    {Control::ProgressFrame, L"STATIC", SS_ETCHEDFRAME, "", kFrame1, kDefault, false},
};

bool InFrame(Control control) { return control == Control::ShownPath || control == Control::ScanningLabel; }

bool IsOneOf(Control control, std::initializer_list<Control> set) {
    for (Control member : set) {
        if (member == control) return true;
    }
    return false;
}

}  // namespace

Win32MainWindow::Win32MainWindow(ScanState& state, AboutBox::UrlOpener openUrl)
    : logic_(*this, state), about_(std::move(openUrl)) {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    ticksPerSecond_ = frequency.QuadPart;
    about_.OnClosed([this] { QuitIfLastWindow(); });

    window_ = CreateDialogWindow(kClassName, kStyle, 0, nullptr, ObjectDialogProcedure<Win32MainWindow>,
                                 reinterpret_cast<LPARAM>(this));
    SetWindowTextW(window_, WideFromUtf8(kAppTitle).c_str());
    CreateControls();
    CreateMenus();
    KeepDpiLayoutToWindow(window_);
    layout_.Apply(WindowDpi(window_));
    logic_.OnLoad();
    CentreWindow(window_, nullptr);
}

Win32MainWindow::~Win32MainWindow() {
    quitWhenClosed_ = false;
    if (window_ != nullptr) DestroyWindow(window_);
}

void Win32MainWindow::CreateControls() {
    for (const ControlPlan& plan : kControls) {
        const DWORD exStyle = plan.windowClass == std::wstring_view(L"EDIT") ? WS_EX_CLIENTEDGE : 0;
        const HWND control = CreateControl(window_, plan.windowClass, plan.style, exStyle,
                                           ControlId(plan.control), plan.text);
        TwipsRect place = plan.place;
        if (InFrame(plan.control)) {
            place.left += kFrame1.left;
            place.top += kFrame1.top;
        }
        const bool label = plan.windowClass == std::wstring_view(L"STATIC") && (plan.style & SS_TYPEMASK) <= SS_CENTER;
        layout_.Add(control, place, plan.font, plan.control == Control::DriveList ? kDriveListRows : 0, label);
        controls_[static_cast<std::size_t>(plan.control)] = control;
        if (plan.windowClass == std::wstring_view(L"BUTTON") && (plan.style & BS_AUTOCHECKBOX) != 0) {
            SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
        }
    }
    // Shown only now, so that the window is not drawn piece by piece.
    for (const ControlPlan& plan : kControls) {
        if (plan.visible) ShowWindow(Item(plan.control), SW_SHOWNA);
    }
    ReadDrives();
}

void Win32MainWindow::CreateMenus() {
    const HMENU bar = CreateMenu();
    const HMENU FileMenu = CreatePopupMenu();
    AppendMenuW(FileMenu, MF_STRING, kMenuExit, L"Exit");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(FileMenu), L"File");
    const HMENU HelpMenu = CreatePopupMenu();
    AppendMenuW(HelpMenu, MF_STRING, kMenuAbout, L"About...");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(HelpMenu), L"Help");
    SetMenu(window_, bar);
}

void Win32MainWindow::ReadDrives() {
    const HWND list = Item(Control::DriveList);
    const std::string selected = drives_.empty() ? std::string() : SelectedDrivePrefix();
    drives_ = ListDriveLetters();
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    int index = -1;
    for (std::size_t i = 0; i < drives_.size(); ++i) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(drives_[i].text.c_str()));
        if (drives_[i].prefix == selected) index = static_cast<int>(i);
    }
    if (index < 0) {
        wchar_t current[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, current);
        index = DriveIndexOf(drives_, current);
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void Win32MainWindow::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    const HWND first = GetNextDlgTabItem(window_, nullptr, FALSE);
    if (first != nullptr) SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
}

void Win32MainWindow::ApplyDpi(int dpi) {
    layout_.Apply(dpi);
    SetClientSizeTwips(window_, kClientWidth, clientHeightTwips_, dpi);
    InvalidateRect(window_, nullptr, TRUE);
}

void Win32MainWindow::SetVisible(Control control, bool visible) {
    const int show = visible ? SW_SHOWNA : SW_HIDE;
    if (!visible) LeaveControl(Item(control));
    ShowWindow(Item(control), show);
    if (control != Control::ProgressFrame) return;
    for (Control child : {Control::ShownPath, Control::ScanningLabel}) {
        if (!visible) LeaveControl(Item(child));
        ShowWindow(Item(child), show);
    }
}

void Win32MainWindow::SetEnabled(Control control, bool enabled) {
    if (!enabled) LeaveControl(Item(control));
    EnableWindow(Item(control), enabled);
}

void Win32MainWindow::LeaveControl(HWND control) {
    if (GetFocus() == control) SendMessageW(window_, WM_NEXTDLGCTL, 0, FALSE);
}

void Win32MainWindow::SetText(Control control, const std::string& text) {
    SetWindowTextW(Item(control), WideFromUtf8(text).c_str());
    layout_.FitText(Item(control));
}

bool Win32MainWindow::IsChecked(Control control) const {
    return SendMessageW(Item(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string Win32MainWindow::SelectedDrivePrefix() const {
    const LRESULT index = SendMessageW(Item(Control::DriveList), CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= drives_.size()) return {};
    return drives_[static_cast<std::size_t>(index)].prefix;
}

void Win32MainWindow::SetClientHeight(int twips) {
    clientHeightTwips_ = twips;
    SetClientSizeTwips(window_, kClientWidth, twips, layout_.Dpi());
    if (IsWindowVisible(window_)) KeepInWorkArea(window_);
}

void Win32MainWindow::ShowMessage(std::string_view text) { ShowMessageBox(window_, text); }

bool Win32MainWindow::AskYesNo(std::string_view text) { return AskYesNoBox(window_, text); }

std::string Win32MainWindow::BrowseFolder(std::string_view title, const std::string& startFolder) {
    return BrowseForFolder(window_, title, startFolder);
}

void Win32MainWindow::ShowAbout() { about_.Show(window_); }

void Win32MainWindow::Close() { SendMessageW(window_, WM_CLOSE, 0, 0); }

void Win32MainWindow::Turn(std::int64_t nowNs) {
    if (nowNs - lastTurnNs_ < kTurnIntervalNs && nowNs >= lastTurnNs_) return;
    lastTurnNs_ = nowNs;
    PumpPendingMessages();
}

std::int64_t Win32MainWindow::NowNs() const {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<std::int64_t>(static_cast<long double>(now.QuadPart) * 1'000'000'000 /
                                     ticksPerSecond_);
}

void Win32MainWindow::QuitIfLastWindow() {
    if (quitWhenClosed_ && window_ == nullptr && about_.Handle() == nullptr) PostQuitMessage(0);
}

// Enter on a push button presses it, as on the button the dialog manager made the default.
void Win32MainWindow::PressFocusedButton() {
    const HWND focus = GetFocus();
    if (focus == nullptr || GetParent(focus) != window_) return;
    wchar_t windowClass[16] = {};
    GetClassNameW(focus, windowClass, 16);
    const LONG_PTR type = GetWindowLongPtrW(focus, GWL_STYLE) & BS_TYPEMASK;
    if (lstrcmpiW(windowClass, L"BUTTON") == 0 && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)) {
        SendMessageW(focus, BM_CLICK, 0, 0);
    }
}

void Win32MainWindow::OnCommand(int id, int code) {
    switch (id) {
        case kMenuExit: logic_.OnExitChosen(); return;
        case kMenuAbout: logic_.OnAboutChosen(); return;
        case IDOK: PressFocusedButton(); return;
        case IDCANCEL: return;  // Esc: the window has no cancel button
        default: break;
    }
    const auto control = static_cast<Control>(id - ControlId(Control::HelpButton));
    if (control == Control::DriveList && code == CBN_DROPDOWN) ReadDrives();
    if (code != BN_CLICKED) return;
    switch (control) {
        case Control::HelpButton: logic_.OnHelpClicked(); break;
        case Control::ProfileFoldersOnly: logic_.OnProfileModeClicked(); break;
        case Control::StartButton: logic_.OnStartClicked(); break;
        case Control::AbortButton: logic_.OnAbortClicked(); break;
        case Control::OutputBrowseButton: logic_.OnOutputBrowseClicked(); break;
        case Control::SourceBrowseButton: logic_.OnSourceBrowseClicked(); break;
        default: break;
    }
}

INT_PTR Win32MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            const auto dc = reinterpret_cast<HDC>(wParam);
            const auto control =
                static_cast<Control>(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) - ControlId(Control::HelpButton));
            if (IsOneOf(control, {Control::TitleLabel, Control::CopyrightLabel, Control::ReportNote})) {
                SetTextColor(dc, kDarkBlue);
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            }
            if (IsOneOf(control, {Control::OutputFolderBox, Control::SourceFolderBox, Control::ShownPath})) {
                // Read-only, but white like a text box that can be written.
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
            }
            return FALSE;
        }
        case WM_DPICHANGED:
            MoveToSuggestedCorner(window_, lParam);
            ApplyDpi(LOWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            if (!logic_.CloseRefused()) DestroyWindow(window_);
            return TRUE;
        case WM_DESTROY:
            window_ = nullptr;
            QuitIfLastWindow();
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace snapsift
