// The main window: the user's choices (profile or folder mode, source and output folders,
// photos in the report), START and ABORT, the progress frame, the help text and the About box.
// It hosts the scan run through the ScanHost seam.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <limits>
#include <string>
#include <vector>

#include "qt/DriveList.h"
#include "qt/PacedEventTurn.h"
#include "scan/ScanHost.h"
#include "scan/ScanRun.h"
#include "scan/ScanState.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace snapsift {

class WindowServices;
class frmAbout;

// A scan turns the event loop once per file. Qt's own dispatcher takes that turn at about
// two thirds of the GLib one's cost, and lets the turn leave out its kernel poll (see
// PacedEventTurn), which GLib's cannot; native folder dialogs work with either. So the window
// program picks it unless QT_NO_GLIB is set already. Call before the QApplication is made.
void UseLeanEventDispatcher();

class Form1 : public QMainWindow, public ScanHost {
    Q_OBJECT

public:
    // state is the program-wide scan state; services the desktop's chooser, boxes and browser.
    Form1(ScanState& state, WindowServices& services, QWidget* parent = nullptr);
    ~Form1() override;

    // What a scan started here takes besides the window (tests put in their own clock).
    void SetScanEnvironment(ScanEnvironment environment);
    // Fills the drive list and selects the entry at index selected (none when out of range).
    void LoadDrives(std::vector<DriveEntry> drives, int selected);
    // The About box while it exists.
    frmAbout* AboutBox() const;

    // ScanHost
    bool ProfileMode() const override;
    bool SearchSubfolders() const override;
    bool IncludePhotos() const override;
    std::string SelectedDriveRoot() const override;
    void ShowPath(const std::string& fullPath) override;
    void Yield() override;
    void ShowMessage(std::string_view text, MessageKind kind) override;
    bool AskYesNo(std::string_view text) override;
    void SetRunningLook(bool running) override;
    void FolderUnreadable(const std::string&, const SystemError&) override {}

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void cmdSTART_Click();
    void cmdABORT_Click();
    void chkPro_Click();
    void cmdSource_Click();
    void cmdOut_Click();
    void Command1_Click();
    void mnuExit_Click();
    void mnuAbout_Click();

private:
    void CreateControls();
    void CreateMenus();
    void Form_Load();
    // True when a close request must be refused.
    bool Form_QueryUnload() const;
    void ChooseFolder(std::string& folder, QLineEdit& box);
    // Sets the client area below the menu bar to the given height, the width staying fixed.
    void SetClientHeight(int twips);
    // Puts the last path given to ShowPath into lblFile when it is not there yet.
    void PushShownPath();

    ScanState& state_;
    WindowServices& services_;
    ScanEnvironment environment_;
    std::vector<DriveEntry> drives_;
    QPointer<frmAbout> about_;
    std::string shownPath_;
    bool shownPathPending_ = false;
    QElapsedTimer clock_;
    qint64 shownPathAtNs_ = std::numeric_limits<qint64>::min() / 2;
    PacedEventTurn eventTurn_;

    QWidget* client_ = nullptr;
    QPushButton* Command1 = nullptr;
    QCheckBox* chkPro = nullptr;
    QComboBox* Drive1 = nullptr;
    QLineEdit* txtOut = nullptr;
    QLineEdit* txtSource = nullptr;
    QCheckBox* chkIncl = nullptr;
    QPushButton* cmdABORT = nullptr;
    QFrame* Frame1 = nullptr;
    QPlainTextEdit* lblFile = nullptr;
    QLabel* Label7 = nullptr;
    QPushButton* cmdSTART = nullptr;
    QPushButton* cmdOut = nullptr;
    QCheckBox* chkSubs = nullptr;
    QPushButton* cmdSource = nullptr;
    QFrame* Line1 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;
};

}  // namespace snapsift
