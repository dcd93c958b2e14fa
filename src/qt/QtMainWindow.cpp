#include "qt/QtMainWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "qt/DriveCombo.h"
#include "qt/WindowMetrics.h"
#include "qt/ProgramIcon.h"
#include "qt/WindowServices.h"
#include "qt/WrapCheckBox.h"
#include "qt/AboutBox.h"
#include "scan/Version.h"

namespace snapsift {

namespace {

constexpr int kClientWidth = 6990;  // twips

// The font a label was designed with, kept so that a new text is fitted from it afresh.
constexpr char kDesignedFont[] = "designedFont";

// Program text (UTF-8, CR LF line breaks) as Qt shows it.
QString Text(std::string_view text) {
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

}  // namespace

template <typename W>
W* QtMainWindow::Place(W* widget, Control control, const QRect& geometry) {
    const std::string_view name = ControlName(control);
    widget->setObjectName(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    widget->setGeometry(geometry);
    controls_[static_cast<std::size_t>(control)] = widget;
    return widget;
}

QtMainWindow::QtMainWindow(ScanState& state, WindowServices& services, QWidget* parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                      Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      services_(services),
      logic_(*this, state) {
    clock_.start();
    setObjectName(QStringLiteral("QtMainWindow"));
    setWindowTitle(Text(kAppTitle));
    setWindowIcon(ProgramIcon());
    setFont(FormFont(Face::SansSerif, 8.25));
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
    const TwipsScale twips(*this);
    const QFont sansBold825 = FormFont(Face::SansSerif, 8.25, true);
    const QFont verdanaBold12 = FormFont(Face::Verdana, 12, true);

    const auto button = [&](Control control, const char* text, const QRect& geometry) {
        auto* made = Place(new QPushButton(QString::fromLatin1(text), client), control, geometry);
        made->setAutoDefault(true);  // Enter presses the button that has the focus
        return made;
    };
    const auto checkBox = [&](Control control, const char* text, const QRect& geometry) {
        auto* made = Place(new WrapCheckBox(QString::fromLatin1(text), client), control, geometry);
        made->setChecked(true);
        return made;
    };
    const auto label = [&](QWidget* parent, Control control, const QRect& geometry,
                           const char* text, const QFont& font) {
        auto* made = Place(new QLabel(QString::fromLatin1(text), parent), control, geometry);
        made->setFont(font);
        made->setProperty(kDesignedFont, font);
        made->setTextFormat(Qt::PlainText);
        made->setWordWrap(true);
        made->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        FitLabelFont(*made);
        return made;
    };

    auto* HelpButton = button(Control::HelpButton, "?", twips.Rect(6480, 1275, 375, 375));
    HelpButton->setFont(FormFont(Face::SansSerif, 9.75, true));

    auto* ProfileFoldersOnly = checkBox(Control::ProfileFoldersOnly, "Only Search User Profile Folders On Selected Drive",
                            twips.Rect(4200, 1200, 2175, 495));

    auto* DriveList = Place(new DriveCombo(client), Control::DriveList, twips.Rect(480, 1800, 5055, 360));
    DriveList->setFont(FormFont(Face::SansSerif, 9.75));

    auto* OutputFolderBox = Place(new QLineEdit(client), Control::OutputFolderBox, twips.Rect(120, 3240, 5415, 375));
    OutputFolderBox->setReadOnly(true);
    auto* SourceFolderBox =
        Place(new QLineEdit(client), Control::SourceFolderBox, twips.Rect(480, 1800, 5055, 375));
    SourceFolderBox->setReadOnly(true);
    SourceFolderBox->hide();

    auto* IncludePhotos =
        checkBox(Control::IncludePhotos, "Include photos in report", twips.Rect(4680, 4155, 2055, 255));

    auto* AbortButton = button(Control::AbortButton, "ABORT", twips.Rect(2160, 3960, 2295, 615));
    AbortButton->setFont(verdanaBold12);
    AbortButton->hide();

    auto* ProgressFrame = Place(new QFrame(client), Control::ProgressFrame, twips.Rect(0, 4680, 6975, 1575));
    ProgressFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    ProgressFrame->hide();
    auto* ShownPath =
        Place(new QPlainTextEdit(ProgressFrame), Control::ShownPath, twips.Rect(120, 480, 6735, 975));
    ShownPath->setFont(FormFont(Face::SansSerif, 9.75));
    ShownPath->setReadOnly(true);
    ShownPath->setFocusPolicy(Qt::StrongFocus);
    ShownPath->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ShownPath->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ShownPath->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ShownPath->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    label(ProgressFrame, Control::ScanningLabel, twips.Rect(120, 160, 855, 255), "Scanning:", sansBold825);

    auto* StartButton = button(Control::StartButton, "START", twips.Rect(2160, 3960, 2295, 615));
    StartButton->setFont(verdanaBold12);
    auto* OutputBrowseButton = button(Control::OutputBrowseButton, "Browse", twips.Rect(5640, 3240, 1215, 375));
    auto* SearchSubfolders =
        checkBox(Control::SearchSubfolders, "Search subfolders", twips.Rect(2880, 1200, 1095, 495));
    SearchSubfolders->hide();
    auto* SourceBrowseButton = button(Control::SourceBrowseButton, "Browse", twips.Rect(5640, 1800, 1215, 375));
    SourceBrowseButton->hide();

    auto* Divider =
        Place(new QFrame(client), Control::Divider, QRect(0, twips.Y(2400), twips.X(6960), 1));
    Divider->setFrameStyle(QFrame::HLine | QFrame::Plain);
    Divider->setLineWidth(1);

    auto* ReportNote = label(client, Control::ReportNote, twips.Rect(2400, 2520, 3735, 735),
                         "(an HTML report file called 'Quorvia JPG Files.htm' will be saved to "
                         "this folder, along with copies of all the located image files)",
                         font());
    SetTextColour(*ReportNote, DarkBlue());
    label(client, Control::OutputCaption, twips.Rect(120, 2880, 2175, 255), "Select an output folder:",
          sansBold825);
    label(client, Control::SourceCaption, twips.Rect(120, 1440, 1455, 255), "Select a source:",
          sansBold825);
    auto* CopyrightLabel =
        label(client, Control::CopyrightLabel, twips.Rect(240, 615, 6495, 375), kCopyrightLine, verdanaBold12);
    CopyrightLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetTextColour(*CopyrightLabel, DarkBlue());
    auto* TitleLabel = label(client, Control::TitleLabel, twips.Rect(240, 75, 6495, 495), "",
                         FormFont(Face::Verdana, 18, true));  // its text comes with OnLoad
    TitleLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetTextColour(*TitleLabel, DarkBlue());

    // The designed tab order, among the controls that take the focus.
    const std::vector<QWidget*> tabOrder = {SourceBrowseButton, SearchSubfolders,   OutputBrowseButton, StartButton, AbortButton,
                                            IncludePhotos,   SourceFolderBox, OutputFolderBox, DriveList,   ProfileFoldersOnly,
                                            HelpButton,  ShownPath};
    for (std::size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(StartButton, &QPushButton::clicked, this, [this] { logic_.OnStartClicked(); });
    connect(AbortButton, &QPushButton::clicked, this, [this] { logic_.OnAbortClicked(); });
    connect(ProfileFoldersOnly, &QCheckBox::toggled, this, [this] { logic_.OnProfileModeClicked(); });
    connect(SourceBrowseButton, &QPushButton::clicked, this, [this] { logic_.OnSourceBrowseClicked(); });
    connect(OutputBrowseButton, &QPushButton::clicked, this, [this] { logic_.OnOutputBrowseClicked(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { logic_.OnHelpClicked(); });
    // Once the list's popup has closed, so that the chooser opens over the window alone.
    connect(DriveList, &DriveCombo::AddImageChosen, this, [this] { logic_.OnAddImageChosen(); },
            Qt::QueuedConnection);
}

void QtMainWindow::CreateMenus() {
    QMenu* FileMenu = menuBar()->addMenu(QStringLiteral("File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    QAction* ExitItem = FileMenu->addAction(QStringLiteral("Exit"));
    ExitItem->setObjectName(QStringLiteral("ExitItem"));
    QMenu* HelpMenu = menuBar()->addMenu(QStringLiteral("Help"));
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    QAction* AboutItem = HelpMenu->addAction(QStringLiteral("About..."));
    AboutItem->setObjectName(QStringLiteral("AboutItem"));
    connect(ExitItem, &QAction::triggered, this, [this] { logic_.OnExitChosen(); });
    connect(AboutItem, &QAction::triggered, this, [this] { logic_.OnAboutChosen(); });
}

AboutBox* QtMainWindow::About() const { return about_.data(); }

void QtMainWindow::SetVisible(Control control, bool visible) { Widget(control)->setVisible(visible); }

void QtMainWindow::SetEnabled(Control control, bool enabled) { Widget(control)->setEnabled(enabled); }

void QtMainWindow::SetText(Control control, const std::string& text) {
    QWidget* widget = Widget(control);
    const QString shown = Text(text);
    if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
        box->setPlainText(shown);
    } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        line->setText(shown);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(shown);
        label->setFont(label->property(kDesignedFont).value<QFont>());
        FitLabelFont(*label);
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
    const int width = scale.X(kClientWidth);
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

void QtMainWindow::ShowMessage(std::string_view text) { services_.ShowMessage(this, Text(text)); }

bool QtMainWindow::AskYesNo(std::string_view text) { return services_.AskYesNo(this, Text(text)); }

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

void QtMainWindow::Turn(std::int64_t nowNs) { eventTurn_.Turn(nowNs); }

std::int64_t QtMainWindow::NowNs() const { return clock_.nsecsElapsed(); }

void QtMainWindow::closeEvent(QCloseEvent* event) {
    if (logic_.CloseRefused()) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace snapsift
