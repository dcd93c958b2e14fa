#include "win32/Form1Window.h"

#include "platform/WideText.h"
#include "scan/Version.h"
#include "win32/DialogWindow.h"
#include "win32/Dpi.h"
#include "win32/MessageLoop.h"
#include "win32/SystemDialogs.h"

namespace snapsift {

namespace {

constexpr wchar_t kClassName[] = L"Snapsift.Form1";
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
    TwipsRect place;  // Frame1's children: inside Frame1
    FontStyle font;
    bool visible;
};

constexpr TwipsRect kFrame1{0, 4680, 6975, 1575};

// The tab stops in their designed tab order, then the labels, the line and the frame, beneath
// every tab stop in the z-order, so that no label or frame is ever drawn over a control; among
// them the later in the designed creation order is drawn over the earlier.
const ControlPlan kControls[] = {
    {Control::cmdSource, L"BUTTON", kPush, "Browse", {5640, 1800, 1215, 375}, kDefault, false},
    {Control::chkSubs, L"BUTTON", kCheck, "Search subfolders", {2880, 1200, 1095, 495}, kDefault, false},
    {Control::cmdOut, L"BUTTON", kPush, "Browse", {5640, 3240, 1215, 375}, kDefault, true},
    {Control::cmdSTART, L"BUTTON", kPush, "START", {2160, 3960, 2295, 615}, kVerdana12, true},
    {Control::cmdABORT, L"BUTTON", kPush, "ABORT", {2160, 3960, 2295, 615}, kVerdana12, false},
    {Control::chkIncl, L"BUTTON", kCheck, "Include photos in report", {4680, 4155, 2055, 255}, kDefault,
     true},
    {Control::txtSource, L"EDIT", kBox, "", {480, 1800, 5055, 375}, kDefault, false},
    {Control::txtOut, L"EDIT", kBox, "", {120, 3240, 5415, 375}, kDefault, true},
    {Control::Drive1, L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, "",
     {480, 1800, 5055, 360}, kLarger, true},
    {Control::chkPro, L"BUTTON", kCheck, "Only Search User Profile Folders On Selected Drive",
     {4200, 1200, 2175, 495}, kDefault, true},
    {Control::Command1, L"BUTTON", kPush, "?", {6480, 1275, 375, 375}, kLargerBold, true},
    {Control::lblFile, L"EDIT", ES_MULTILINE | ES_READONLY | WS_TABSTOP, "", {120, 480, 6735, 975},
     kLarger, false},
    {Control::Label1, L"STATIC", SS_CENTER | SS_NOPREFIX, "", {240, 75, 6495, 495}, kVerdana18, true},
    {Control::Label2, L"STATIC", SS_CENTER | SS_NOPREFIX, kCopyrightLine, {240, 615, 6495, 375},
     kVerdana12, true},
    {Control::Label3, L"STATIC", kLabel, "Select a source:", {120, 1440, 1455, 255}, kBold, true},
    {Control::Label5, L"STATIC", kLabel, "Select an output folder:", {120, 2880, 2175, 255}, kBold, true},
    {Control::Label4, L"STATIC", kLabel,
     "(an HTML report file called 'Quorvia JPG Files.htm' will be saved to this folder, along with "
     "copies of all the located image files)",
     {2400, 2520, 3735, 735}, kDefault, true},
    {Control::Line1, L"STATIC", SS_BLACKRECT, "", {0, 2400, 6960, 15}, kDefault, true},
    {Control::Label7, L"STATIC", kLabel, "Scanning:", {120, 160, 855, 255}, kBold, false},
    {Control::Frame1, L"STATIC", SS_ETCHEDFRAME, "", kFrame1, kDefault, false},
};

bool InFrame(Control control) { return control == Control::lblFile || control == Control::Label7; }

bool IsOneOf(Control control, std::initializer_list<Control> set) {
    for (Control member : set) {
        if (member == control) return true;
    }
    return false;
}

}  // namespace

Form1Window::Form1Window(ScanState& state, AboutBox::UrlOpener openUrl)
    : logic_(*this, state), about_(std::move(openUrl)) {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    ticksPerSecond_ = frequency.QuadPart;
    about_.OnClosed([this] { QuitIfLastWindow(); });

    window_ = CreateDialogWindow(kClassName, kStyle, 0, nullptr, ObjectDialogProcedure<Form1Window>,
                                 reinterpret_cast<LPARAM>(this));
    SetWindowTextW(window_, WideFromUtf8(kAppTitle).c_str());
    CreateControls();
    CreateMenus();
    KeepDpiLayoutToWindow(window_);
    layout_.Apply(WindowDpi(window_));
    logic_.Form_Load();
    CentreWindow(window_, nullptr);
}

Form1Window::~Form1Window() {
    quitWhenClosed_ = false;
    if (window_ != nullptr) DestroyWindow(window_);
}

void Form1Window::CreateControls() {
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
        layout_.Add(control, place, plan.font, plan.control == Control::Drive1 ? kDriveListRows : 0, label);
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

void Form1Window::CreateMenus() {
    const HMENU bar = CreateMenu();
    const HMENU mnuFile = CreatePopupMenu();
    AppendMenuW(mnuFile, MF_STRING, kMenuExit, L"Exit");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuFile), L"File");
    const HMENU mnuHelp = CreatePopupMenu();
    AppendMenuW(mnuHelp, MF_STRING, kMenuAbout, L"About...");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuHelp), L"Help");
    SetMenu(window_, bar);
}

void Form1Window::ReadDrives() {
    const HWND list = Item(Control::Drive1);
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

void Form1Window::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    const HWND first = GetNextDlgTabItem(window_, nullptr, FALSE);
    if (first != nullptr) SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
}

void Form1Window::ApplyDpi(int dpi) {
    layout_.Apply(dpi);
    SetClientSizeTwips(window_, kClientWidth, clientHeightTwips_, dpi);
    InvalidateRect(window_, nullptr, TRUE);
}

void Form1Window::SetVisible(Control control, bool visible) {
    const int show = visible ? SW_SHOWNA : SW_HIDE;
    if (!visible) LeaveControl(Item(control));
    ShowWindow(Item(control), show);
    if (control != Control::Frame1) return;
    for (Control child : {Control::lblFile, Control::Label7}) {
        if (!visible) LeaveControl(Item(child));
        ShowWindow(Item(child), show);
    }
}

void Form1Window::SetEnabled(Control control, bool enabled) {
    if (!enabled) LeaveControl(Item(control));
    EnableWindow(Item(control), enabled);
}

void Form1Window::LeaveControl(HWND control) {
    if (GetFocus() == control) SendMessageW(window_, WM_NEXTDLGCTL, 0, FALSE);
}

void Form1Window::SetText(Control control, const std::string& text) {
    SetWindowTextW(Item(control), WideFromUtf8(text).c_str());
    layout_.FitText(Item(control));
}

bool Form1Window::IsChecked(Control control) const {
    return SendMessageW(Item(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string Form1Window::SelectedDrivePrefix() const {
    const LRESULT index = SendMessageW(Item(Control::Drive1), CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= drives_.size()) return {};
    return drives_[static_cast<std::size_t>(index)].prefix;
}

void Form1Window::SetClientHeight(int twips) {
    clientHeightTwips_ = twips;
    SetClientSizeTwips(window_, kClientWidth, twips, layout_.Dpi());
    if (IsWindowVisible(window_)) KeepInWorkArea(window_);
}

void Form1Window::ShowMessage(std::string_view text) { ShowMessageBox(window_, text); }

bool Form1Window::AskYesNo(std::string_view text) { return AskYesNoBox(window_, text); }

std::string Form1Window::BrowseFolder(std::string_view title, const std::string& startFolder) {
    return BrowseForFolder(window_, title, startFolder);
}

void Form1Window::ShowAbout() { about_.Show(window_); }

void Form1Window::Close() { SendMessageW(window_, WM_CLOSE, 0, 0); }

void Form1Window::Turn(std::int64_t nowNs) {
    if (nowNs - lastTurnNs_ < kTurnIntervalNs && nowNs >= lastTurnNs_) return;
    lastTurnNs_ = nowNs;
    PumpPendingMessages();
}

std::int64_t Form1Window::NowNs() const {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<std::int64_t>(static_cast<long double>(now.QuadPart) * 1'000'000'000 /
                                     ticksPerSecond_);
}

void Form1Window::QuitIfLastWindow() {
    if (quitWhenClosed_ && window_ == nullptr && about_.Handle() == nullptr) PostQuitMessage(0);
}

// Enter on a push button presses it, as on the button the dialog manager made the default.
void Form1Window::PressFocusedButton() {
    const HWND focus = GetFocus();
    if (focus == nullptr || GetParent(focus) != window_) return;
    wchar_t windowClass[16] = {};
    GetClassNameW(focus, windowClass, 16);
    const LONG_PTR type = GetWindowLongPtrW(focus, GWL_STYLE) & BS_TYPEMASK;
    if (lstrcmpiW(windowClass, L"BUTTON") == 0 && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)) {
        SendMessageW(focus, BM_CLICK, 0, 0);
    }
}

void Form1Window::OnCommand(int id, int code) {
    switch (id) {
        case kMenuExit: logic_.mnuExit_Click(); return;
        case kMenuAbout: logic_.mnuAbout_Click(); return;
        case IDOK: PressFocusedButton(); return;
        case IDCANCEL: return;  // Esc: the window has no cancel button
        default: break;
    }
    const auto control = static_cast<Control>(id - ControlId(Control::Command1));
    if (control == Control::Drive1 && code == CBN_DROPDOWN) ReadDrives();
    if (code != BN_CLICKED) return;
    switch (control) {
        case Control::Command1: logic_.Command1_Click(); break;
        case Control::chkPro: logic_.chkPro_Click(); break;
        case Control::cmdSTART: logic_.cmdSTART_Click(); break;
        case Control::cmdABORT: logic_.cmdABORT_Click(); break;
        case Control::cmdOut: logic_.cmdOut_Click(); break;
        case Control::cmdSource: logic_.cmdSource_Click(); break;
        default: break;
    }
}

INT_PTR Form1Window::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            const auto dc = reinterpret_cast<HDC>(wParam);
            const auto control =
                static_cast<Control>(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) - ControlId(Control::Command1));
            if (IsOneOf(control, {Control::Label1, Control::Label2, Control::Label4})) {
                SetTextColor(dc, kDarkBlue);
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            }
            if (IsOneOf(control, {Control::txtOut, Control::txtSource, Control::lblFile})) {
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
            if (!logic_.Form_QueryUnload()) DestroyWindow(window_);
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
