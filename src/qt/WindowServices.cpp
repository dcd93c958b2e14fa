#include "qt/WindowServices.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
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
                    text, buttons, owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());  // text alone
    box.setWindowModality(Qt::ApplicationModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

std::string SystemWindowServices::BrowseFolder(std::string_view title,
                                               const std::string& startFolder, QWidget* owner) {
    return snapsift::BrowseFolder(title, startFolder, owner);
}

std::string SystemWindowServices::ChooseFile(QWidget* owner, const QString& title, const QString& filter,
                                            const std::string& startFile) {
    const QString chosen = QFileDialog::getOpenFileName(owner, title, QString::fromStdString(startFile), filter);
    return QDir::toNativeSeparators(chosen).toStdString();
}

void SystemWindowServices::ShowMessage(QWidget* owner, const QString& text) {
    RunBox(owner, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool SystemWindowServices::AskYesNo(QWidget* owner, const QString& text, bool noPreselected) {
    return RunBox(owner, text, QMessageBox::Yes | QMessageBox::No, noPreselected ? QMessageBox::No : QMessageBox::Yes) ==
           QMessageBox::Yes;
}

bool SystemWindowServices::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace snapsift
