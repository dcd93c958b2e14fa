#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include "qt/DriveList.h"

namespace snapsift {

std::vector<DriveEntry> ListDrives() {
    const QString current = QStorageInfo(QDir::currentPath()).rootPath();
    std::vector<DriveEntry> drives;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        // Single files bind-mounted into place are not volumes one can search.
        if (!QFileInfo(root).isDir()) continue;
        const QByteArray device = volume.device();
        const QByteArray type = volume.fileSystemType();
        if (!IsSearchableMount(std::string_view(device.constData(), device.size()),
                               std::string_view(type.constData(), type.size()), root == current)) {
            continue;
        }
        drives.push_back(MountEntry(root, volume.name(), QString::fromUtf8(type)));
    }
    return drives;
}

}  // namespace snapsift
