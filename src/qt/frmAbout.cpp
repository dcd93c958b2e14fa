#include "qt/frmAbout.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include "qt/LinkLabel.h"
#include "qt/FormMetrics.h"
#include "qt/ProgramIcon.h"
#include "scan/Version.h"

namespace snapsift {

namespace {


// The etched rule under the description: a grey line with a white one beneath it.
class EtchedRule : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(0, 0, width(), 1, QColor(0x80, 0x80, 0x80));
        painter.fillRect(1, 1, width() - 1, height() - 1, Qt::white);
    }
};

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, const QFont& font) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

frmAbout::frmAbout(UrlOpener openUrl)
    : QDialog(nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      openUrl_(std::move(openUrl)) {
    if (!openUrl_) openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowIcon(ProgramIcon());
    setFont(FormFont(Face::SansSerif, 8.25));

    const TwipsScale twips(*this);
    setFixedSize(twips.X(5730), twips.Y(3825));

    picIcon = MakeLabel(this, "picIcon", twips.Rect(120, 120, 780, 780), font());
    picIcon->setPixmap(ProgramIcon().pixmap(48, 48));
    lblTitle = MakeLabel(this, "lblTitle", twips.Rect(1170, 120, 3885, 360),
                         FormFont(Face::SansSerif, 12, true));
    lblVersion = MakeLabel(this, "lblVersion", twips.Rect(1170, 360, 3885, 345),
                           FormFont(Face::SansSerif, 12, true));

    Label1 = new LinkLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twips.Rect(1440, 720, 4005, 315));
    Label1->setFont(FormFont(Face::SansSerif, 9.75, true));
    Label1->setText(QString::fromUtf8(kCopyrightLine));
    Label2 = new LinkLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twips.Rect(1440, 960, 2925, 255));
    Label2->setFont(FormFont(Face::SansSerif, 9.75, true));
    Label2->setText(QString::fromUtf8(kMakerAddress));
    for (QLabel* link : {static_cast<QLabel*>(Label1), static_cast<QLabel*>(Label2)}) {
        link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        link->setTextFormat(Qt::PlainText);
    }

    lblDescription = MakeLabel(this, "lblDescription", twips.Rect(1050, 1440, 4005, 1290),
                               FormFont(Face::SansSerif, 9.75));
    lblDescription->setWordWrap(true);
    lblDescription->setText(QString::fromUtf8(kAboutDescriptionText));

    Line1 = new EtchedRule(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setGeometry(twips.X(90), twips.Y(2760), twips.X(5654) - twips.X(90), 2);

    lblDisclaimer = MakeLabel(this, "lblDisclaimer", twips.Rect(120, 3000, 3870, 705), font());
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setText(QString::fromUtf8(kAboutDisclaimerText));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twips.Rect(4320, 3360, 1260, 345));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);

    // Only the button takes the focus, so Tab keeps it there; the labels are not stops.
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(Label1, &LinkLabel::clicked, this, &frmAbout::Label1_Click);
    connect(Label2, &LinkLabel::clicked, this, &frmAbout::Label2_Click);
    Form_Load();
    for (QLabel* label : {lblTitle, lblVersion, static_cast<QLabel*>(Label1),
                          static_cast<QLabel*>(Label2), lblDescription, lblDisclaimer}) {
        FitLabelFont(*label);
    }
}

void frmAbout::Form_Load() {
    const QString title = QString::fromUtf8(kAppTitle.data(), kAppTitle.size());
    setWindowTitle(QStringLiteral("About ") + title);
    lblVersion->setText(QStringLiteral("Version ") +
                        QString::fromUtf8(kAppVersion.data(), kAppVersion.size()));
    lblTitle->setText(title);
}

void frmAbout::ShowFor(QWidget* owner) {
    if (!placed_) {
        const QRect area = owner ? owner->frameGeometry()
                                 : QGuiApplication::primaryScreen()->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
        placed_ = true;
    }
    show();
    raise();
    activateWindow();
    cmdOK->setFocus();
}

void frmAbout::cmdOK_Click() { close(); }

void frmAbout::Label1_Click() { OpenMakerPage(); }

void frmAbout::Label2_Click() { OpenMakerPage(); }

void frmAbout::OpenMakerPage() { openUrl_(QUrl(QString::fromUtf8(kMakerAddress))); }

}  // namespace snapsift
