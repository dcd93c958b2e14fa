#include "qt/QtMainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QAbstractButton>
#include <QScreen>
#include <QUrl>
#include <algorithm>

#include "qt/DesignedWidgets.h"
#include "qt/DriveCombo.h"
#include "qt/WindowMetrics.h"
#include "qt/ProgramIcon.h"
#include "qt/WindowServices.h"
#include "qt/AboutBox.h"

namespace snapsift {

namespace {

// Program text (UTF-8, CR LF line breaks) as Qt shows it.
QString Text(std::string_view text) {
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

}  // namespace

QtMainWindow::QtMainWindow(ScanState& state, WindowServices& services, QWidget* parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                      Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      services_(services),
      logic_(*this, state) {
    clock_.start();
    ticker_.setInterval(kScanTickMs);
    connect(&ticker_, &QTimer::timeout, this, [this] { logic_.OnTick(); });
    setObjectName(QStringLiteral("QtMainWindow"));
    setWindowTitle(Text(MainWindowDesign().caption));
    setWindowIcon(ProgramIcon());
    setFont(DesignedFont(MainWindowDesign().font));
    CreateControls();
    CreateMenus();
    logic_.OnLoad();

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    move(screen.center() - QPoint(width() / 2, height() / 2));
}

QtMainWindow::~QtMainWindow() { delete about_.data(); }

void QtMainWindow::CreateControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    const std::vector<QWidget*> made = MakeDesignedWidgets(
        MainWindowDesign(), *client, [](int row) { return AccessibleName(static_cast<snapsift::Control>(row)); });
    std::copy(made.begin(), made.end(), controls_.begin());

    const auto clicked = [this](Control control, void (MainWindowLogic::*handler)()) {
        connect(static_cast<QAbstractButton*>(Widget(control)), &QAbstractButton::clicked, this,
                [this, handler] { (logic_.*handler)(); });
    };
    clicked(Control::StartButton, &MainWindowLogic::OnStartClicked);
    clicked(Control::AbortButton, &MainWindowLogic::OnAbortClicked);
    clicked(Control::ProfileFoldersOnly, &MainWindowLogic::OnProfileModeClicked);
    clicked(Control::SourceBrowseButton, &MainWindowLogic::OnSourceBrowseClicked);
    clicked(Control::OutputBrowseButton, &MainWindowLogic::OnOutputBrowseClicked);
    clicked(Control::HelpButton, &MainWindowLogic::OnHelpClicked);
    // Once the list's popup has closed, so that the chooser opens over the window alone.
    connect(static_cast<DriveCombo*>(Widget(Control::DriveList)), &DriveCombo::AddImageChosen, this,
            [this] { logic_.OnAddImageChosen(); }, Qt::QueuedConnection);
    connect(static_cast<DriveCombo*>(Widget(Control::DriveList)), &DriveCombo::Selected, this,
            [this] { logic_.OnDriveSelected(); });
}

void QtMainWindow::CreateMenus() {
    for (const MenuDesign& design : kMenus) {
        QMenu* menu = menuBar()->addMenu(Text(design.title));
        menu->setObjectName(Text(design.menuName));
        for (const MenuItemDesign& itemDesign : design.items) {
            QAction* item = menu->addAction(Text(itemDesign.item));
            item->setObjectName(Text(itemDesign.itemName));
            menuItems_.emplace_back(itemDesign.command, item);
            connect(item, &QAction::triggered, this, [this, command = itemDesign.command] {
                switch (command) {
                    case MenuCommand::Exit: logic_.OnExitChosen(); break;
                    case MenuCommand::About: logic_.OnAboutChosen(); break;
                    case MenuCommand::OpenLastReport: logic_.OnOpenLastReportChosen(); break;
                    case MenuCommand::OpenLastSummary: logic_.OnOpenLastSummaryChosen(); break;
                }
            });
        }
    }
}

AboutBox* QtMainWindow::About() const { return about_.data(); }

namespace {

// Takes the focus off a control about to be hidden or disabled, that Qt would otherwise pass on
// along the tab order: to controls about to go too, or to a text box that selects all its text
// on taking the focus that way. The logic then puts the focus where it belongs.
void ReleaseFocus(QWidget& control) {
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && (focus == &control || control.isAncestorOf(focus))) focus->clearFocus();
}

}  // namespace

void QtMainWindow::SetVisible(Control control, bool visible) {
    if (!visible) ReleaseFocus(*Widget(control));
    Widget(control)->setVisible(visible);
}

void QtMainWindow::SetEnabled(Control control, bool enabled) {
    if (!enabled) ReleaseFocus(*Widget(control));
    Widget(control)->setEnabled(enabled);
}

void QtMainWindow::SetText(Control control, const std::string& text) {
    QWidget* widget = Widget(control);
    const QString shown = Text(text);
    if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
        box->setPlainText(shown);
    } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        line->setText(shown);
    } else if (qobject_cast<QLabel*>(widget) != nullptr) {
        SetDesignedLabelText(*widget, shown);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(shown);
    }
}

bool QtMainWindow::IsChecked(Control control) const {
    const auto* box = qobject_cast<const QAbstractButton*>(Widget(control));
    return box != nullptr && box->isChecked();
}

std::string QtMainWindow::SelectedDrivePrefix() const {
    return static_cast<const DriveCombo*>(Widget(Control::DriveList))->SelectedPrefix();
}

void QtMainWindow::SetImageEntries(const std::vector<std::string>& entries, const std::string& addEntry, int select) {
    QStringList texts;
    for (const std::string& entry : entries) texts << Text(entry);
    static_cast<DriveCombo*>(Widget(Control::DriveList))->SetImageEntries(texts, Text(addEntry), select);
}

int QtMainWindow::SelectedImageEntry() const {
    return static_cast<const DriveCombo*>(Widget(Control::DriveList))->SelectedImage();
}

void QtMainWindow::SetClientHeight(int twips) {
    const TwipsScale scale(*this);
    const int width = scale.X(MainWindowDesign().clientWidth);
    const int menuHeight = menuBar()->heightForWidth(width) > 0
                               ? menuBar()->heightForWidth(width)
                               : menuBar()->sizeHint().height();
    setFixedSize(width, menuHeight + scale.Y(twips));
    if (isVisible()) KeepOnScreen();
}

void QtMainWindow::KeepOnScreen() {
    const QRect available = screen()->availableGeometry();
    const QRect frame = frameGeometry();
    const int overflow = frame.bottom() - available.bottom();
    if (overflow > 0) move(frame.left(), std::max(available.top(), frame.top() - overflow));
}

void QtMainWindow::SetCaption(const std::string& text) { setWindowTitle(Text(text)); }

void QtMainWindow::SetFocus(Control control) { Widget(control)->setFocus(Qt::OtherFocusReason); }

void QtMainWindow::SetMenuEnabled(MenuCommand command, bool enabled) {
    for (const auto& [itemCommand, item] : menuItems_)
        if (itemCommand == command) item->setEnabled(enabled);
}

bool QtMainWindow::OpenInBrowser(const std::string& path) {
    return services_.OpenUrl(QUrl::fromLocalFile(QDir::fromNativeSeparators(QString::fromStdString(path))));
}

void QtMainWindow::ShowMessage(std::string_view text) { services_.ShowMessage(this, Text(text)); }

bool QtMainWindow::AskYesNo(std::string_view text, Preselected preselected) {
    return services_.AskYesNo(this, Text(text), preselected == Preselected::No);
}

std::string QtMainWindow::BrowseFolder(std::string_view title, const std::string& startFolder) {
    return services_.BrowseFolder(title, startFolder, this);
}

std::string QtMainWindow::ChooseDiskImage(std::string_view title, std::string_view patterns,
                                   const std::string& startFile) {
    const QString filter = QStringLiteral("Disk images (") + Text(patterns) + QStringLiteral(");;All files (*)");
    return services_.ChooseFile(this, Text(title), filter, startFile);
}

void QtMainWindow::ShowAbout() {
    if (!about_) about_ = new AboutBox([this](const QUrl& url) { services_.OpenUrl(url); });
    about_->ShowFor(this);
}

void QtMainWindow::Close() { close(); }

void QtMainWindow::SetTicking(bool on) {
    if (on)
        ticker_.start();
    else
        ticker_.stop();
}

std::int64_t QtMainWindow::NowNs() const { return clock_.nsecsElapsed(); }

void QtMainWindow::closeEvent(QCloseEvent* event) {
    if (!logic_.OnCloseRequested()) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace snapsift
