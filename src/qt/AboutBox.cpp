#include "qt/AboutBox.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include "qt/DesignedWidgets.h"
#include "qt/LinkLabel.h"
#include "qt/ProgramIcon.h"
#include "qt/WindowMetrics.h"
#include "window/AboutText.h"

namespace snapsift {

AboutBox::AboutBox(UrlOpener openUrl)
    : QDialog(nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      openUrl_(std::move(openUrl)) {
    if (!openUrl_) openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    const WindowDesign& design = AboutBoxDesign();
    setObjectName(QStringLiteral("AboutBox"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowIcon(ProgramIcon());
    setWindowTitle(QString::fromStdString(design.caption));
    setFont(DesignedFont(design.font));
    const TwipsScale twips(*this);
    setFixedSize(twips.X(design.clientWidth), twips.Y(design.clientHeight));

    controls_ = MakeDesignedWidgets(design, *this,
                                    [](int row) { return AccessibleName(static_cast<AboutControl>(row)); });
    const auto widget = [this](AboutControl control) { return controls_[static_cast<std::size_t>(control)]; };
    // The box opens with the focus on OK; Tab goes on to the two links and back to OK.
    connect(static_cast<QPushButton*>(widget(AboutControl::OkButton)), &QPushButton::clicked, this, &QDialog::close);
    QWidget* previous = widget(AboutControl::OkButton);
    for (AboutControl link : {AboutControl::Copyright, AboutControl::Address}) {
        connect(static_cast<LinkLabel*>(widget(link)), &LinkLabel::clicked, this, &AboutBox::OpenMakerPage);
        QWidget::setTabOrder(previous, widget(link));
        previous = widget(link);
    }
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
    controls_[static_cast<std::size_t>(AboutControl::OkButton)]->setFocus();
}

void AboutBox::OpenMakerPage() { openUrl_(QUrl(QString::fromUtf8(kMakerAddress))); }

}  // namespace snapsift
