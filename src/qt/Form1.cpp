#include "qt/Form1.h"

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
#include "qt/FormMetrics.h"
#include "qt/ProgramIcon.h"
#include "qt/WindowServices.h"
#include "qt/WrapCheckBox.h"
#include "qt/frmAbout.h"
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
W* Form1::Place(W* widget, Control control, const QRect& geometry) {
    const std::string_view name = ControlName(control);
    widget->setObjectName(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    widget->setGeometry(geometry);
    controls_[static_cast<std::size_t>(control)] = widget;
    return widget;
}

Form1::Form1(ScanState& state, WindowServices& services, QWidget* parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                      Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      services_(services),
      logic_(*this, state) {
    clock_.start();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Text(kAppTitle));
    setWindowIcon(ProgramIcon());
    setFont(FormFont(Face::SansSerif, 8.25));
    CreateControls();
    CreateMenus();
    logic_.Form_Load();

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    move(screen.center() - QPoint(width() / 2, height() / 2));
}

Form1::~Form1() { delete about_.data(); }

void Form1::CreateControls() {
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

    auto* Command1 = button(Control::Command1, "?", twips.Rect(6480, 1275, 375, 375));
    Command1->setFont(FormFont(Face::SansSerif, 9.75, true));

    auto* chkPro = checkBox(Control::chkPro, "Only Search User Profile Folders On Selected Drive",
                            twips.Rect(4200, 1200, 2175, 495));

    auto* Drive1 = Place(new DriveCombo(client), Control::Drive1, twips.Rect(480, 1800, 5055, 360));
    Drive1->setFont(FormFont(Face::SansSerif, 9.75));

    auto* txtOut = Place(new QLineEdit(client), Control::txtOut, twips.Rect(120, 3240, 5415, 375));
    txtOut->setReadOnly(true);
    auto* txtSource =
        Place(new QLineEdit(client), Control::txtSource, twips.Rect(480, 1800, 5055, 375));
    txtSource->setReadOnly(true);
    txtSource->hide();

    auto* chkIncl =
        checkBox(Control::chkIncl, "Include photos in report", twips.Rect(4680, 4155, 2055, 255));

    auto* cmdABORT = button(Control::cmdABORT, "ABORT", twips.Rect(2160, 3960, 2295, 615));
    cmdABORT->setFont(verdanaBold12);
    cmdABORT->hide();

    auto* Frame1 = Place(new QFrame(client), Control::Frame1, twips.Rect(0, 4680, 6975, 1575));
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Frame1->hide();
    auto* lblFile =
        Place(new QPlainTextEdit(Frame1), Control::lblFile, twips.Rect(120, 480, 6735, 975));
    lblFile->setFont(FormFont(Face::SansSerif, 9.75));
    lblFile->setReadOnly(true);
    lblFile->setFocusPolicy(Qt::StrongFocus);
    lblFile->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lblFile->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lblFile->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    lblFile->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    label(Frame1, Control::Label7, twips.Rect(120, 160, 855, 255), "Scanning:", sansBold825);

    auto* cmdSTART = button(Control::cmdSTART, "START", twips.Rect(2160, 3960, 2295, 615));
    cmdSTART->setFont(verdanaBold12);
    auto* cmdOut = button(Control::cmdOut, "Browse", twips.Rect(5640, 3240, 1215, 375));
    auto* chkSubs =
        checkBox(Control::chkSubs, "Search subfolders", twips.Rect(2880, 1200, 1095, 495));
    chkSubs->hide();
    auto* cmdSource = button(Control::cmdSource, "Browse", twips.Rect(5640, 1800, 1215, 375));
    cmdSource->hide();

    auto* Line1 =
        Place(new QFrame(client), Control::Line1, QRect(0, twips.Y(2400), twips.X(6960), 1));
    Line1->setFrameStyle(QFrame::HLine | QFrame::Plain);
    Line1->setLineWidth(1);

    auto* Label4 = label(client, Control::Label4, twips.Rect(2400, 2520, 3735, 735),
                         "(an HTML report file called 'Quorvia JPG Files.htm' will be saved to "
                         "this folder, along with copies of all the located image files)",
                         font());
    SetTextColour(*Label4, DarkBlue());
    label(client, Control::Label5, twips.Rect(120, 2880, 2175, 255), "Select an output folder:",
          sansBold825);
    label(client, Control::Label3, twips.Rect(120, 1440, 1455, 255), "Select a source:",
          sansBold825);
    auto* Label2 =
        label(client, Control::Label2, twips.Rect(240, 615, 6495, 375), kCopyrightLine, verdanaBold12);
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetTextColour(*Label2, DarkBlue());
    auto* Label1 = label(client, Control::Label1, twips.Rect(240, 75, 6495, 495), "",
                         FormFont(Face::Verdana, 18, true));  // its text comes with Form_Load
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetTextColour(*Label1, DarkBlue());

    // The designed tab order, among the controls that take the focus.
    const std::vector<QWidget*> tabOrder = {cmdSource, chkSubs,   cmdOut, cmdSTART, cmdABORT,
                                            chkIncl,   txtSource, txtOut, Drive1,   chkPro,
                                            Command1,  lblFile};
    for (std::size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(cmdSTART, &QPushButton::clicked, this, [this] { logic_.cmdSTART_Click(); });
    connect(cmdABORT, &QPushButton::clicked, this, [this] { logic_.cmdABORT_Click(); });
    connect(chkPro, &QCheckBox::toggled, this, [this] { logic_.chkPro_Click(); });
    connect(cmdSource, &QPushButton::clicked, this, [this] { logic_.cmdSource_Click(); });
    connect(cmdOut, &QPushButton::clicked, this, [this] { logic_.cmdOut_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { logic_.Command1_Click(); });
    // Once the list's popup has closed, so that the chooser opens over the window alone.
    connect(Drive1, &DriveCombo::AddImageChosen, this, [this] { logic_.Drive1_AddImage(); },
            Qt::QueuedConnection);
}

void Form1::CreateMenus() {
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    QAction* mnuExit = mnuFile->addAction(QStringLiteral("Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    QAction* mnuAbout = mnuHelp->addAction(QStringLiteral("About..."));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    connect(mnuExit, &QAction::triggered, this, [this] { logic_.mnuExit_Click(); });
    connect(mnuAbout, &QAction::triggered, this, [this] { logic_.mnuAbout_Click(); });
}

frmAbout* Form1::AboutBox() const { return about_.data(); }

void Form1::SetVisible(Control control, bool visible) { Widget(control)->setVisible(visible); }

void Form1::SetEnabled(Control control, bool enabled) { Widget(control)->setEnabled(enabled); }

void Form1::SetText(Control control, const std::string& text) {
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

bool Form1::IsChecked(Control control) const {
    const auto* box = qobject_cast<const QAbstractButton*>(Widget(control));
    return box != nullptr && box->isChecked();
}

std::string Form1::SelectedDrivePrefix() const {
    return static_cast<const DriveCombo*>(Widget(Control::Drive1))->SelectedPrefix();
}

void Form1::SetImageEntries(const std::vector<std::string>& entries, const std::string& addEntry, int select) {
    QStringList texts;
    for (const std::string& entry : entries) texts << Text(entry);
    static_cast<DriveCombo*>(Widget(Control::Drive1))->SetImageEntries(texts, Text(addEntry), select);
}

int Form1::SelectedImageEntry() const {
    return static_cast<const DriveCombo*>(Widget(Control::Drive1))->SelectedImage();
}

void Form1::SetClientHeight(int twips) {
    const TwipsScale scale(*this);
    const int width = scale.X(kClientWidth);
    const int menuHeight = menuBar()->heightForWidth(width) > 0
                               ? menuBar()->heightForWidth(width)
                               : menuBar()->sizeHint().height();
    setFixedSize(width, menuHeight + scale.Y(twips));
    if (isVisible()) KeepOnScreen();
}

void Form1::KeepOnScreen() {
    const QRect available = screen()->availableGeometry();
    const QRect frame = frameGeometry();
    const int overflow = frame.bottom() - available.bottom();
    if (overflow > 0) move(frame.left(), std::max(available.top(), frame.top() - overflow));
}

void Form1::ShowMessage(std::string_view text) { services_.ShowMessage(this, Text(text)); }

bool Form1::AskYesNo(std::string_view text) { return services_.AskYesNo(this, Text(text)); }

std::string Form1::BrowseFolder(std::string_view title, const std::string& startFolder) {
    return services_.BrowseFolder(title, startFolder, this);
}

std::string Form1::ChooseDiskImage(std::string_view title, std::string_view patterns,
                                   const std::string& startFile) {
    const QString filter = QStringLiteral("Disk images (") + Text(patterns) + QStringLiteral(");;All files (*)");
    return services_.ChooseFile(this, Text(title), filter, startFile);
}

void Form1::ShowAbout() {
    if (!about_) about_ = new frmAbout([this](const QUrl& url) { services_.OpenUrl(url); });
    about_->ShowFor(this);
}

void Form1::Close() { close(); }

void Form1::Turn(std::int64_t nowNs) { eventTurn_.Turn(nowNs); }

std::int64_t Form1::NowNs() const { return clock_.nsecsElapsed(); }

void Form1::closeEvent(QCloseEvent* event) {
    if (logic_.Form_QueryUnload()) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace snapsift
