#include <QStorageInfo>

#include "qt/DriveList.h"

namespace snapsift {

std::vector<DriveEntry> ListDrives() {
    std::vector<DriveEntry> drives;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        // Drive letters only ("C:/"); volumes mounted into folders have no letter of their own.
        if (root.size() != 3 || root[1] != u':') continue;
        drives.push_back(DriveLetterEntry(root.toStdString(), volume.name().toStdString()));
    }
    return drives;
}

}  // namespace snapsift
