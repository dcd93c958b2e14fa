#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include "qt/DriveList.h"

namespace snapsift {
namespace {

std::string_view View(const QByteArray& bytes) { return {bytes.constData(), std::size_t(bytes.size())}; }

// A real folder, not a link to one, named as Windows names its profile folders. Only looked
// up, never listed, so nothing on the volume changes.
bool HoldsProfileFolders(const std::string& root) {
    for (const std::string_view name : kProfileFolderNames) {
        const QFileInfo folder(QDir(QString::fromStdString(root)).filePath(QString::fromUtf8(name.data(), qsizetype(name.size()))));
        if (folder.isDir() && !folder.isSymLink()) return true;
    }
    return false;
}

}  // namespace

std::vector<DriveEntry> ListDrives() {
    std::vector<DriveEntry> drives;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        // Single files bind-mounted into place are not volumes one can search.
        if (!QFileInfo(root).isDir()) continue;
        // A later mount on the same point hides the earlier one.
        std::erase_if(drives, [&](const DriveEntry& drive) { return drive.rootPath == root.toStdString(); });
        const QByteArray type = volume.fileSystemType();
        if (IsSearchableMount(View(volume.device()), View(type), View(QFile::encodeName(root)))) {
            drives.push_back(MountEntry(root.toStdString(), volume.name().toStdString(), type.toStdString()));
        }
    }
    return ProfileDrivesFirst(std::move(drives), HoldsProfileFolders);
}

}  // namespace snapsift
