#include "qt/AboutBox.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include "qt/LinkLabel.h"
#include "qt/WindowMetrics.h"
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

AboutBox::AboutBox(UrlOpener openUrl)
    : QDialog(nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      openUrl_(std::move(openUrl)) {
    if (!openUrl_) openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    setObjectName(QStringLiteral("AboutBox"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowIcon(ProgramIcon());
    setFont(FormFont(Face::SansSerif, 8.25));

    const TwipsScale twips(*this);
    setFixedSize(twips.X(5730), twips.Y(3825));

    Icon = MakeLabel(this, "Icon", twips.Rect(120, 120, 780, 780), font());
    Icon->setPixmap(ProgramIcon().pixmap(48, 48));
    TitleLabel = MakeLabel(this, "TitleLabel", twips.Rect(1170, 120, 3885, 360),
                         FormFont(Face::SansSerif, 12, true));
    VersionLabel = MakeLabel(this, "VersionLabel", twips.Rect(1170, 360, 3885, 345),
                           FormFont(Face::SansSerif, 12, true));

    CopyrightLink = new LinkLabel(this);
    CopyrightLink->setObjectName(QStringLiteral("CopyrightLink"));
    CopyrightLink->setGeometry(twips.Rect(1440, 720, 4005, 315));
    CopyrightLink->setFont(FormFont(Face::SansSerif, 9.75, true));
    CopyrightLink->setText(QString::fromUtf8(kCopyrightLine));
    AddressLink = new LinkLabel(this);
    AddressLink->setObjectName(QStringLiteral("AddressLink"));
    AddressLink->setGeometry(twips.Rect(1440, 960, 2925, 255));
    AddressLink->setFont(FormFont(Face::SansSerif, 9.75, true));
    AddressLink->setText(QString::fromUtf8(kMakerAddress));
    for (QLabel* link : {static_cast<QLabel*>(CopyrightLink), static_cast<QLabel*>(AddressLink)}) {
        link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        link->setTextFormat(Qt::PlainText);
    }

    Description = MakeLabel(this, "Description", twips.Rect(1050, 1440, 4005, 1290),
                               FormFont(Face::SansSerif, 9.75));
    Description->setWordWrap(true);
    Description->setText(QString::fromUtf8(kAboutDescriptionText));

    Rule = new EtchedRule(this);
    Rule->setObjectName(QStringLiteral("Rule"));
    Rule->setGeometry(twips.X(90), twips.Y(2760), twips.X(5654) - twips.X(90), 2);

    Disclaimer = MakeLabel(this, "Disclaimer", twips.Rect(120, 3000, 3870, 705), font());
    Disclaimer->setWordWrap(true);
    Disclaimer->setText(QString::fromUtf8(kAboutDisclaimerText));

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setGeometry(twips.Rect(4320, 3360, 1260, 345));
    OkButton->setDefault(true);
    OkButton->setAutoDefault(true);

    // Only the button takes the focus, so Tab keeps it there; the labels are not stops.
    connect(OkButton, &QPushButton::clicked, this, &AboutBox::OnOkClicked);
    connect(CopyrightLink, &LinkLabel::clicked, this, &AboutBox::OnCopyrightClicked);
    connect(AddressLink, &LinkLabel::clicked, this, &AboutBox::OnAddressClicked);
    OnLoad();
    for (QLabel* label : {TitleLabel, VersionLabel, static_cast<QLabel*>(CopyrightLink),
                          static_cast<QLabel*>(AddressLink), Description, Disclaimer}) {
        FitLabelFont(*label);
    }
}

void AboutBox::OnLoad() {
    const QString title = QString::fromUtf8(kAppTitle.data(), kAppTitle.size());
    setWindowTitle(QStringLiteral("About ") + title);
    VersionLabel->setText(QStringLiteral("Version ") +
                        QString::fromUtf8(kAppVersion.data(), kAppVersion.size()));
    TitleLabel->setText(title);
}

void AboutBox::ShowFor(QWidget* owner) {
    if (!placed_) {
        const QRect area = owner ? owner->frameGeometry()
                                 : QGuiApplication::primaryScreen()->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
        placed_ = true;
    }
    show();
    raise();
    activateWindow();
    OkButton->setFocus();
}

void AboutBox::OnOkClicked() { close(); }

void AboutBox::OnCopyrightClicked() { OpenMakerPage(); }

void AboutBox::OnAddressClicked() { OpenMakerPage(); }

void AboutBox::OpenMakerPage() { openUrl_(QUrl(QString::fromUtf8(kMakerAddress))); }

}  // namespace snapsift
