// The main window as Qt draws it: the controls in twips with their fonts, colours and tab
// order, the menus, the boxes and the About box. Every rule lives in the window logic; the
// widgets forward their signals to its handlers.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <utility>
#include <vector>
#include <string>

#include "scan/ScanState.h"
#include "window/MainWindowLogic.h"
#include "window/MainWindowView.h"

namespace snapsift {

class WindowServices;
class AboutBox;

class QtMainWindow : public QMainWindow, public MainWindowView {
    Q_OBJECT

public:
    // state is the program-wide scan state; services the desktop's chooser, boxes and browser.
    QtMainWindow(ScanState& state, WindowServices& services, QWidget* parent = nullptr);
    ~QtMainWindow() override;

    MainWindowLogic& Logic() { return logic_; }
    // The About box while it exists.
    AboutBox* About() const;

    // MainWindowView
    void SetVisible(Control control, bool visible) override;
    void SetEnabled(Control control, bool enabled) override;
    void SetText(Control control, const std::string& text) override;
    bool IsChecked(Control control) const override;
    std::string SelectedDrivePrefix() const override;
    void SetImageEntries(const std::vector<std::string>& entries, const std::string& addEntry, int select) override;
    int SelectedImageEntry() const override;
    void SetClientHeight(int twips) override;
    void SetCaption(const std::string& text) override;
    void SetFocus(Control control) override;
    void SetMenuEnabled(MenuCommand command, bool enabled) override;
    bool OpenInBrowser(const std::string& path) override;
    void ShowMessage(std::string_view text) override;
    bool AskYesNo(std::string_view text, Preselected preselected) override;
    std::string BrowseFolder(std::string_view title, const std::string& startFolder) override;
    std::string ChooseDiskImage(std::string_view title, std::string_view patterns,
                                const std::string& startFile) override;
    void ShowAbout() override;
    void Close() override;
    void SetTicking(bool on) override;
    std::int64_t NowNs() const override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    QWidget* Widget(Control control) const { return controls_[static_cast<std::size_t>(control)]; }
    // Moves the window up when its frame reaches below the screen's available area.
    void KeepOnScreen();

    WindowServices& services_;
    MainWindowLogic logic_;
    QPointer<AboutBox> about_;
    QElapsedTimer clock_;
    QTimer ticker_;  // the logic's OnTick while a scan runs
    std::array<QWidget*, kControlCount> controls_{};
    std::vector<std::pair<MenuCommand, QAction*>> menuItems_;
};

}  // namespace snapsift
