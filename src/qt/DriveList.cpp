#include "qt/DriveList.h"

#include <QDir>
#include <array>

namespace snapsift {

int IndexOfDriveHolding(const std::vector<DriveEntry>& drives, const QString& folder) {
    const QString path = QDir::cleanPath(folder) + u'/';
    int best = -1;
    qsizetype bestLength = -1;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        QString root = drives[i].rootPath;
        if (!root.endsWith(u'/')) root += u'/';
        // Drive letters are the same in either case; mount points are not.
        const bool letter = root.size() == 3 && root[1] == u':';
        const bool holds =
            path.startsWith(root, letter ? Qt::CaseInsensitive : Qt::CaseSensitive);
        if (holds && root.size() > bestLength) {
            best = static_cast<int>(i);
            bestLength = root.size();
        }
    }
    return best;
}

bool IsSearchableMount(std::string_view device, std::string_view type, bool holdsCurrentFolder) {
    if (holdsCurrentFolder) return true;
    static constexpr std::array<std::string_view, 12> kPseudo = {
        "proc",    "sysfs", "tmpfs",  "devtmpfs", "devpts",   "cgroup",
        "cgroup2", "autofs", "squashfs", "overlay", "debugfs", "tracefs"};
    for (std::string_view pseudo : kPseudo) {
        if (type == pseudo) return false;
    }
    static constexpr std::array<std::string_view, 7> kNetwork = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "fuse.sshfs"};
    for (std::string_view network : kNetwork) {
        if (type == network) return true;
    }
    return device.starts_with("/dev/") || device.starts_with("//");
}

DriveEntry MountEntry(const QString& mountPoint, const QString& label, const QString& type) {
    DriveEntry entry;
    entry.rootPath = mountPoint;
    entry.text = mountPoint + QStringLiteral(" [") + (label.isEmpty() ? type : label) +
                 QStringLiteral("]");
    QString prefix = mountPoint;
    while (prefix.endsWith(u'/')) prefix.chop(1);
    entry.prefix = prefix.toStdString();
    return entry;
}

DriveEntry DriveLetterEntry(const QString& rootPath, const QString& label) {
    DriveEntry entry;
    entry.rootPath = rootPath;
    const QString letter = rootPath.left(2).toLower();
    entry.text = label.isEmpty() ? letter : letter + QStringLiteral(" [") + label + u']';
    entry.prefix = letter.toStdString();
    return entry;
}

}  // namespace snapsift
