#include "qt/WindowServices.h"

#include <QDesktopServices>
#include <QAbstractButton>
#include <QIcon>
#include <QMessageBox>
#include <QUrl>

#include "scan/Version.h"
#include "qt/BrowseFolder.h"

namespace snapsift {

namespace {

QMessageBox::StandardButton RunBox(QWidget* owner, const QString& text,
                                   QMessageBox::StandardButtons buttons,
                                   QMessageBox::StandardButton defaultButton) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle.data(), kAppTitle.size()),
                    MessageBoxText(text), buttons, owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());  // text alone
    box.setWindowModality(Qt::ApplicationModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QString MessageBoxText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

std::string SystemWindowServices::BrowseFolder(std::string_view title, QWidget* owner) {
    return snapsift::BrowseFolder(title, owner);
}

void SystemWindowServices::ShowMessage(QWidget* owner, const QString& text) {
    RunBox(owner, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool SystemWindowServices::AskYesNo(QWidget* owner, const QString& text) {
    return RunBox(owner, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

void SystemWindowServices::OpenUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

}  // namespace snapsift
