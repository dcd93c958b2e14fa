#include "win32/Win32MainWindow.h"

#include <shellapi.h>

#include <algorithm>

#include "platform/WideText.h"
#include "win32/DesignedControls.h"
#include "win32/DialogWindow.h"
#include "win32/Dpi.h"
#include "win32/MessageLoop.h"
#include "win32/SystemDialogs.h"

namespace snapsift {

namespace {

constexpr wchar_t kClassName[] = L"Snapsift.MainWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr UINT_PTR kTickTimer = 1;  // the logic's OnTick while a scan runs

int IndexOf(Control control) { return static_cast<int>(control); }

// The captions that name the box below them, for screen readers. (The drive list, which shares
// its place and caption with the source folder's box, has only the name given to it.)
const std::vector<NamingLabel> kNamingLabels = {
    {IndexOf(Control::SourceFolderBox), IndexOf(Control::SourceCaption)},
    {IndexOf(Control::OutputFolderBox), IndexOf(Control::OutputCaption)},
    {IndexOf(Control::ShownPath), IndexOf(Control::ScanningLabel)}};

}  // namespace

Win32MainWindow::Win32MainWindow(ScanState& state, AboutBox::UrlOpener openUrl)
    : logic_(*this, state), openFile_(openUrl), about_(std::move(openUrl)) {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    ticksPerSecond_ = frequency.QuadPart;
    about_.OnClosed([this] { QuitIfLastWindow(); });

    window_ = CreateDialogWindow(kClassName, kStyle, 0, nullptr, ObjectDialogProcedure<Win32MainWindow>,
                                 reinterpret_cast<LPARAM>(this));
    SetWindowTextW(window_, WideFromUtf8(MainWindowDesign().caption).c_str());
    darkBlue_ = DarkBlueTextColour();
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
    const std::vector<HWND> made = CreateDesignedControls(
        window_, MainWindowDesign(), [](int index) { return ControlId(static_cast<Control>(index)); }, layout_,
        kNamingLabels, [](int index) { return AccessibleName(static_cast<Control>(index)); });
    std::copy(made.begin(), made.end(), controls_.begin());
    ReadDrives();
}

void Win32MainWindow::CreateMenus() {
    const HMENU bar = CreateMenu();
    for (const MenuDesign& design : kMenus) {
        const HMENU menu = CreatePopupMenu();
        for (const MenuItemDesign& item : design.items)
            AppendMenuW(menu, MF_STRING, MenuId(item.command), WideFromUtf8(item.item).c_str());
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), WideFromUtf8(design.title).c_str());
    }
    SetMenu(window_, bar);
}

void Win32MainWindow::ReadDrives() {
    const HWND list = Item(Control::DriveList);
    const std::string selected = SelectedDrivePrefix();
    const bool hadDrives = !drives_.empty();
    drives_ = ListDriveLetters();
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const DriveEntry& drive : drives_) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(drive.text).c_str()));
    }
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    // At first the drive holding the user profiles; later the one the user chose, wherever it now is.
    const int index = hadDrives ? IndexAfterReread(drives_, &selected, Utf8FromWide(current))
                                : FirstProfileDriveIndex(drives_, ReadDriveRoots(drives_), Utf8FromWide(current));
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void Win32MainWindow::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    const HWND focus = focusWhenShown_ != nullptr ? focusWhenShown_ : GetNextDlgTabItem(window_, nullptr, FALSE);
    focusWhenShown_ = nullptr;
    if (focus != nullptr) SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
}

void Win32MainWindow::ApplyDpi(int dpi) {
    layout_.Apply(dpi);
    SetClientSizeTwips(window_, MainWindowDesign().clientWidth, clientHeightTwips_, dpi);
    InvalidateRect(window_, nullptr, TRUE);
}

void Win32MainWindow::SetVisible(Control control, bool visible) {
    const int show = visible ? SW_SHOWNA : SW_HIDE;
    if (!visible) LeaveControl(Item(control));
    ShowWindow(Item(control), show);
    for (const int child : ControlsInside(MainWindowDesign(), IndexOf(control))) {
        const HWND inside = controls_[static_cast<std::size_t>(child)];
        if (!visible) LeaveControl(inside);
        ShowWindow(inside, show);
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
    SetClientSizeTwips(window_, MainWindowDesign().clientWidth, twips, layout_.Dpi());
    if (IsWindowVisible(window_)) KeepInWorkArea(window_);
}

void Win32MainWindow::SetCaption(const std::string& text) { SetWindowTextW(window_, WideFromUtf8(text).c_str()); }

void Win32MainWindow::SetFocus(Control control) {
    // A hidden window cannot take the focus: Show() gives it.
    if (!IsWindowVisible(window_)) {
        focusWhenShown_ = Item(control);
        return;
    }
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(control)), TRUE);
}

void Win32MainWindow::SetMenuEnabled(MenuCommand command, bool enabled) {
    EnableMenuItem(GetMenu(window_), static_cast<UINT>(MenuId(command)), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

bool Win32MainWindow::OpenInBrowser(const std::string& path) {
    const std::wstring file = WideFromUtf8(path);
    if (openFile_) {
        openFile_(file);
        return true;
    }
    const auto result = ShellExecuteW(window_, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void Win32MainWindow::ShowMessage(std::string_view text) { ShowMessageBox(window_, text); }

bool Win32MainWindow::AskYesNo(std::string_view text, Preselected preselected) {
    return AskYesNoBox(window_, text, preselected == Preselected::No);
}

std::string Win32MainWindow::BrowseFolder(std::string_view title, const std::string& startFolder) {
    return BrowseForFolder(window_, title, startFolder);
}

void Win32MainWindow::ShowAbout() { about_.Show(window_); }

void Win32MainWindow::Close() { SendMessageW(window_, WM_CLOSE, 0, 0); }

void Win32MainWindow::SetTicking(bool on) {
    if (on)
        SetTimer(window_, kTickTimer, kScanTickMs, nullptr);
    else
        KillTimer(window_, kTickTimer);
}

std::int64_t Win32MainWindow::NowNs() const {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<std::int64_t>(static_cast<long double>(now.QuadPart) * 1'000'000'000 /
                                     ticksPerSecond_);
}

void Win32MainWindow::ReadSystemColours() {
    darkBlue_ = DarkBlueTextColour();
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
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
        case MenuId(MenuCommand::Exit): logic_.OnExitChosen(); return;
        case MenuId(MenuCommand::About): logic_.OnAboutChosen(); return;
        case MenuId(MenuCommand::OpenLastReport): logic_.OnOpenLastReportChosen(); return;
        case MenuId(MenuCommand::OpenLastSummary): logic_.OnOpenLastSummaryChosen(); return;
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
            const int index = GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) - ControlId(Control::HelpButton);
            return DesignedStaticColours(MainWindowDesign(), index, reinterpret_cast<HDC>(wParam), darkBlue_);
        }
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:  // high contrast on or off
            ReadSystemColours();
            return FALSE;
        case WM_DPICHANGED:
            MoveToSuggestedCorner(window_, lParam);
            ApplyDpi(LOWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            if (logic_.OnCloseRequested()) DestroyWindow(window_);
            return TRUE;
        case WM_TIMER:
            if (wParam != kTickTimer) return FALSE;
            logic_.OnTick();
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
