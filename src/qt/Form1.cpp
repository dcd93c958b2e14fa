#include "qt/Form1.h"
#include "scan/Version.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "qt/frmAbout.h"
#include "qt/FormMetrics.h"
#include "qt/ProgramIcon.h"
#include "qt/WindowServices.h"
#include "qt/WrapCheckBox.h"

namespace snapsift {

namespace {

// Designed client area, and the part at the bottom that the idle window cuts off.
constexpr int kClientWidth = 6990;
constexpr int kClientHeight = 6270;
constexpr int kProgressHeight = 1500;
// lblFile follows the walk at the screen's pace, not at every file.
constexpr qint64 kShownPathRefreshNs = 25'000'000;

constexpr char kChooseFolderTitle[] = "Choose a folder:";
constexpr char kAbortQuestion[] = "Are you sure you want to cancel this operation?";
constexpr char kHelpText[] =
    "If \"Only Search User Profile Folders On Selected Drive\" is checked, only the user profile "
    "folders ('Documents and Settings' in XP, or 'Users' in Vista/7) will be searched. "
    "This greatly reduces the search time and is usually all that is needed since Quorvia JPG "
    "files are generally only found in the Temporary Internet Files."
    "\r\n\r\n"
    "If \"Only Search User Profile Folders On Selected Drive\" is NOT checked, you will have "
    "the option of selecting a specific folder to search, with (optionally) all sub-folders as "
    "well.";

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename Widget>
Widget* Place(Widget* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, const char* text,
                  const QFont& font) {
    auto* label = Place(new QLabel(QString::fromUtf8(text), parent), name, geometry);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QRect& geometry,
                        const char* text) {
    auto* box = Place(new WrapCheckBox(QString::fromUtf8(text), parent), name, geometry);
    box->setChecked(true);
    return box;
}

}  // namespace

Form1::Form1(ScanState& state, WindowServices& services, QWidget* parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                      Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      state_(state),
      services_(services) {
    clock_.start();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Text(kAppTitle));
    setWindowIcon(ProgramIcon());
    setFont(FormFont(Face::SansSerif, 8.25));
    CreateControls();
    CreateMenus();
    LoadDrives(ListDrives(), -1);
    SetClientHeight(kClientHeight);
    Form_Load();

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    move(screen.center() - QPoint(width() / 2, height() / 2));
}

Form1::~Form1() { delete about_.data(); }

void Form1::CreateControls() {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);
    const TwipsScale twips(*this);
    const QFont sansBold825 = FormFont(Face::SansSerif, 8.25, true);

    Command1 = Place(new QPushButton(QStringLiteral("?"), client_), "Command1",
                     twips.Rect(6480, 1275, 375, 375));
    Command1->setFont(FormFont(Face::SansSerif, 9.75, true));

    chkPro = MakeCheckBox(client_, "chkPro", twips.Rect(4200, 1200, 2175, 495),
                          "Only Search User Profile Folders On Selected Drive");

    Drive1 = Place(new QComboBox(client_), "Drive1", twips.Rect(480, 1800, 5055, 360));
    Drive1->setFont(FormFont(Face::SansSerif, 9.75));

    txtOut = Place(new QLineEdit(client_), "txtOut", twips.Rect(120, 3240, 5415, 375));
    txtOut->setReadOnly(true);
    txtSource = Place(new QLineEdit(client_), "txtSource", twips.Rect(480, 1800, 5055, 375));
    txtSource->setReadOnly(true);
    txtSource->hide();

    chkIncl = MakeCheckBox(client_, "chkIncl", twips.Rect(4680, 4155, 2055, 255),
                           "Include photos in report");

    const QFont verdanaBold12 = FormFont(Face::Verdana, 12, true);
    cmdABORT = Place(new QPushButton(QStringLiteral("ABORT"), client_), "cmdABORT",
                     twips.Rect(2160, 3960, 2295, 615));
    cmdABORT->setFont(verdanaBold12);
    cmdABORT->hide();

    Frame1 = Place(new QFrame(client_), "Frame1", twips.Rect(0, 4680, 6975, 1575));
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Frame1->hide();
    lblFile = Place(new QPlainTextEdit(Frame1), "lblFile", twips.Rect(120, 480, 6735, 975));
    lblFile->setFont(FormFont(Face::SansSerif, 9.75));
    lblFile->setReadOnly(true);
    lblFile->setFocusPolicy(Qt::StrongFocus);
    lblFile->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lblFile->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lblFile->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    lblFile->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Label7 = MakeLabel(Frame1, "Label7", twips.Rect(120, 160, 855, 255), "Scanning:", sansBold825);

    cmdSTART = Place(new QPushButton(QStringLiteral("START"), client_), "cmdSTART",
                     twips.Rect(2160, 3960, 2295, 615));
    cmdSTART->setFont(verdanaBold12);
    cmdOut = Place(new QPushButton(QStringLiteral("Browse"), client_), "cmdOut",
                   twips.Rect(5640, 3240, 1215, 375));
    chkSubs = MakeCheckBox(client_, "chkSubs", twips.Rect(2880, 1200, 1095, 495),
                           "Search subfolders");
    chkSubs->hide();
    cmdSource = Place(new QPushButton(QStringLiteral("Browse"), client_), "cmdSource",
                      twips.Rect(5640, 1800, 1215, 375));
    cmdSource->hide();

    Line1 = Place(new QFrame(client_), "Line1", QRect(0, twips.Y(2400), twips.X(6960), 1));
    Line1->setFrameStyle(QFrame::HLine | QFrame::Plain);
    Line1->setLineWidth(1);

    Label4 = MakeLabel(client_, "Label4", twips.Rect(2400, 2520, 3735, 735),
                       "(an HTML report file called 'Quorvia JPG Files.htm' will be saved to this "
                       "folder, along with copies of all the located image files)",
                       font());
    SetTextColour(*Label4, DarkBlue());
    Label5 = MakeLabel(client_, "Label5", twips.Rect(120, 2880, 2175, 255),
                       "Select an output folder:", sansBold825);
    Label3 = MakeLabel(client_, "Label3", twips.Rect(120, 1440, 1455, 255), "Select a source:",
                       sansBold825);
    Label2 = MakeLabel(client_, "Label2", twips.Rect(240, 615, 6495, 375), kCopyrightLine,
                       verdanaBold12);
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetTextColour(*Label2, DarkBlue());
    Label1 = MakeLabel(client_, "Label1", twips.Rect(240, 75, 6495, 495), "Snapsift v1.2.0",
                       FormFont(Face::Verdana, 18, true));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetTextColour(*Label1, DarkBlue());

    for (QLabel* label : {Label7, Label4, Label5, Label3, Label2, Label1}) FitLabelFont(*label);

    // The designed tab order, among the controls that take the focus.
    const std::vector<QWidget*> tabOrder = {cmdSource, chkSubs,   cmdOut, cmdSTART,
                                            cmdABORT,  chkIncl,   txtSource, txtOut,
                                            Drive1,    chkPro,    Command1,  lblFile};
    for (std::size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(cmdSTART, &QPushButton::clicked, this, &Form1::cmdSTART_Click);
    connect(cmdABORT, &QPushButton::clicked, this, &Form1::cmdABORT_Click);
    connect(chkPro, &QCheckBox::toggled, this, &Form1::chkPro_Click);
    connect(cmdSource, &QPushButton::clicked, this, &Form1::cmdSource_Click);
    connect(cmdOut, &QPushButton::clicked, this, &Form1::cmdOut_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
}

void Form1::CreateMenus() {
    mnuFile = menuBar()->addMenu(QStringLiteral("File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuExit = mnuFile->addAction(QStringLiteral("Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    mnuHelp = menuBar()->addMenu(QStringLiteral("Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuAbout = mnuHelp->addAction(QStringLiteral("About..."));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    connect(mnuExit, &QAction::triggered, this, &Form1::mnuExit_Click);
    connect(mnuAbout, &QAction::triggered, this, &Form1::mnuAbout_Click);
}

void Form1::Form_Load() { SetClientHeight(kClientHeight - kProgressHeight); }

void Form1::SetScanEnvironment(ScanEnvironment environment) {
    environment_ = std::move(environment);
}

void Form1::LoadDrives(std::vector<DriveEntry> drives, int selected) {
    drives_ = std::move(drives);
    Drive1->clear();
    for (const DriveEntry& drive : drives_) Drive1->addItem(drive.text);
    if (selected < 0) selected = IndexOfDriveHolding(drives_, QDir::currentPath());
    if (selected < 0 && !drives_.empty()) selected = 0;
    Drive1->setCurrentIndex(selected < static_cast<int>(drives_.size()) ? selected : -1);
}

frmAbout* Form1::AboutBox() const { return about_.data(); }

void Form1::SetClientHeight(int twips) {
    const TwipsScale scale(*this);
    const int width = scale.X(kClientWidth);
    const int menuHeight = menuBar()->heightForWidth(width) > 0
                               ? menuBar()->heightForWidth(width)
                               : menuBar()->sizeHint().height();
    setFixedSize(width, menuHeight + scale.Y(twips));
}

bool Form1::ProfileMode() const { return chkPro->isChecked(); }

bool Form1::SearchSubfolders() const { return chkSubs->isChecked(); }

bool Form1::IncludePhotos() const { return chkIncl->isChecked(); }

std::string Form1::SelectedDriveRoot() const {
    const int index = Drive1->currentIndex();
    if (index < 0 || index >= static_cast<int>(drives_.size())) return {};
    return drives_[static_cast<std::size_t>(index)].prefix;
}

void Form1::ShowPath(const std::string& fullPath) {
    shownPath_.assign(fullPath);
    shownPathPending_ = true;
}

void Form1::PushShownPath() {
    if (!shownPathPending_) return;
    lblFile->setPlainText(QString::fromStdString(shownPath_));
    shownPathPending_ = false;
}

void UseLeanEventDispatcher() {
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
}

// One clock reading per file paces both the path on show and the event loop's kernel poll.
void Form1::Yield() {
    const qint64 now = clock_.nsecsElapsed();
    if (shownPathPending_ && now - shownPathAtNs_ >= kShownPathRefreshNs) {
        PushShownPath();
        shownPathAtNs_ = now;
    }
    eventTurn_.Turn(now);
}

void Form1::ShowMessage(std::string_view text, MessageKind) {
    PushShownPath();
    services_.ShowMessage(this, Text(text));
}

bool Form1::AskYesNo(std::string_view text) {
    PushShownPath();
    return services_.AskYesNo(this, Text(text));
}

void Form1::SetRunningLook(bool running) {
    if (running) {
        chkPro->setEnabled(false);
        Frame1->show();
        cmdOut->setEnabled(false);
        cmdSource->setEnabled(false);
        cmdSTART->hide();
        cmdABORT->show();
        chkSubs->setEnabled(false);
        chkIncl->setEnabled(false);
        Command1->setEnabled(false);
        SetClientHeight(kClientHeight);
    } else {
        PushShownPath();
        chkPro->setEnabled(true);
        chkIncl->setEnabled(true);
        chkSubs->setEnabled(true);
        cmdOut->setEnabled(true);
        cmdSource->setEnabled(true);
        cmdSTART->show();
        cmdABORT->hide();
        Frame1->hide();
        Command1->setEnabled(true);
        SetClientHeight(kClientHeight - kProgressHeight);
    }
}

void Form1::cmdSTART_Click() { RunScan(state_, *this, environment_); }

void Form1::cmdABORT_Click() {
    PushShownPath();
    if (services_.AskYesNo(this, QString::fromLatin1(kAbortQuestion))) {
        state_.AbortRequested = true;
    }
}

void Form1::chkPro_Click() {
    if (chkPro->isChecked()) {
        cmdSource->hide();
        Drive1->show();
        txtSource->hide();
        chkSubs->hide();
    } else {
        Drive1->hide();
        txtSource->show();
        chkSubs->show();
        cmdSource->show();
    }
}

void Form1::ChooseFolder(std::string& folder, QLineEdit& box) {
    const std::string saved = folder;
    folder = services_.BrowseFolder(kChooseFolderTitle, this);
    if (!folder.empty()) {
        box.setText(QString::fromStdString(folder));
        return;
    }
    folder = saved;
    if (!saved.empty()) box.setText(QString::fromStdString(saved));
}

void Form1::cmdSource_Click() { ChooseFolder(state_.SourceFolder, *txtSource); }

void Form1::cmdOut_Click() { ChooseFolder(state_.OutputFolder, *txtOut); }

void Form1::Command1_Click() { services_.ShowMessage(this, QString::fromLatin1(kHelpText)); }

bool Form1::Form_QueryUnload() const { return cmdABORT->isVisibleTo(this); }

void Form1::closeEvent(QCloseEvent* event) {
    if (Form_QueryUnload()) {
        event->ignore();
        return;
    }
    event->accept();
}

void Form1::mnuExit_Click() { close(); }

void Form1::mnuAbout_Click() {
    if (!about_) about_ = new frmAbout([this](const QUrl& url) { services_.OpenUrl(url); });
    about_->ShowFor(this);
}

}  // namespace snapsift
