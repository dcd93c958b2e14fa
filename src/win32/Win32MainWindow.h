// The main window as Win32 draws it: native controls placed from their twips at the window's
// resolution, with their fonts, colours and tab order, the menus, the system's boxes and
// folder chooser, and the About box. Every rule lives in the window logic; the window forwards
// its notifications to the logic's handlers.
#pragma once

#include <windows.h>

#include "win32/DialogWindow.h"
#undef Yield  // the obsolete no-op of winbase.h would swallow the scan host's Yield()

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scan/ScanState.h"
#include "win32/AboutBox.h"
#include "win32/DriveLetters.h"
#include "win32/TwipsLayout.h"
#include "window/MainWindowLogic.h"
#include "window/MainWindowView.h"
#include "window/WindowDesign.h"

namespace snapsift {

// A control's id: its place in the main window's creation order, counted from 100.
constexpr int ControlId(Control control) { return 100 + static_cast<int>(control); }
// A menu item's id, counted from 300.
constexpr int MenuId(MenuCommand command) { return 300 + static_cast<int>(command); }

class Win32MainWindow : public MainWindowView {
public:
    // state is the program-wide scan state; openUrl, when given, stands in for the shell in the
    // About box's links and in opening the last report. The window is made hidden; Show() shows it.
    explicit Win32MainWindow(ScanState& state, AboutBox::UrlOpener openUrl = {});
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    // Shows the window and gives the focus to the control the logic asked for (SetFocus), else
    // to its first tab stop.
    void Show(int showCommand = SW_SHOWNORMAL);
    // The window, or null once it has closed.
    HWND Handle() const { return window_; }
    HWND Item(Control control) const { return controls_[static_cast<std::size_t>(control)]; }
    MainWindowLogic& Logic() { return logic_; }
    AboutBox& About() { return about_; }
    // The program ends (WM_QUIT) when the window and the About box have both closed; true by default.
    void QuitWhenClosed(bool quit) { quitWhenClosed_ = quit; }

    // MainWindowView
    void SetVisible(Control control, bool visible) override;
    void SetEnabled(Control control, bool enabled) override;
    void SetText(Control control, const std::string& text) override;
    bool IsChecked(Control control) const override;
    std::string SelectedDrivePrefix() const override;
    void SetClientHeight(int twips) override;
    void SetCaption(const std::string& text) override;
    void SetFocus(Control control) override;
    void SetMenuEnabled(MenuCommand command, bool enabled) override;
    bool OpenInBrowser(const std::string& path) override;
    void ShowMessage(std::string_view text) override;
    bool AskYesNo(std::string_view text, Preselected preselected) override;
    std::string BrowseFolder(std::string_view title, const std::string& startFolder) override;
    void ShowAbout() override;
    void Close() override;
    void SetTicking(bool on) override;
    std::int64_t NowNs() const override;

private:
    template <typename T>
    friend INT_PTR CALLBACK ObjectDialogProcedure(HWND, UINT, WPARAM, LPARAM);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    void CreateControls();
    void CreateMenus();
    void ApplyDpi(int dpi);
    void ReadDrives();
    // Moves the focus on when the control that has it is hidden or disabled.
    void LeaveControl(HWND control);
    void PressFocusedButton();
    void QuitIfLastWindow();
    // Reads the colours that follow the system's again and draws the window anew with them.
    void ReadSystemColours();

    MainWindowLogic logic_;
    AboutBox::UrlOpener openFile_;  // a test's stand-in for the shell, or none
    AboutBox about_;
    HWND window_ = nullptr;
    std::array<HWND, kControlCount> controls_{};
    TwipsLayout layout_;
    std::vector<DriveEntry> drives_;
    int clientHeightTwips_ = kClientHeight;
    HWND focusWhenShown_ = nullptr;  // asked for while the window was hidden
    COLORREF darkBlue_ = 0;          // the labels designed dark blue (DarkBlueTextColour)
    bool quitWhenClosed_ = true;
    std::int64_t ticksPerSecond_ = 1;
};

}  // namespace snapsift
