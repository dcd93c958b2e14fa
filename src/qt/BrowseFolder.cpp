#include "qt/BrowseFolder.h"

#include <QDir>
#include <QFileDialog>
#include <QString>

#include "window/FolderChoice.h"

namespace snapsift {

std::string BrowseFolder(std::string_view title, const std::string& startFolder, QWidget* owner) {
    const QString chosen = QFileDialog::getExistingDirectory(
        owner, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
        QString::fromStdString(startFolder), QFileDialog::ShowDirsOnly);
    const std::string native = QDir::toNativeSeparators(chosen).toStdString();
    return FolderPathFromChooser(native, QDir::separator().toLatin1());
}

}  // namespace snapsift
