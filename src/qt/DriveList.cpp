#include "qt/DriveList.h"

#include <QDir>
#include <algorithm>
#include <array>

namespace snapsift {
namespace {

bool IsUnder(std::string_view path, std::string_view folder) {
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

// Where the system mounts its own file systems; desktops mount removable disks in /run/media.
bool InSystemPlace(std::string_view mountPoint) {
    if (IsUnder(mountPoint, "/run/media")) return false;
    return IsUnder(mountPoint, "/dev") || IsUnder(mountPoint, "/proc") ||
           IsUnder(mountPoint, "/sys") || IsUnder(mountPoint, "/run");
}

}  // namespace

int InitialDriveIndex(const std::vector<DriveEntry>& drives) {
    const auto profiles = std::find_if(drives.begin(), drives.end(),
                                       [](const DriveEntry& drive) { return drive.holdsProfiles; });
    if (profiles != drives.end()) return static_cast<int>(profiles - drives.begin());
#ifdef _WIN32
    const int fallback = IndexOfDriveHolding(drives, QDir::currentPath());
#else
    const int fallback = IndexOfDriveHolding(drives, QStringLiteral("/"));
#endif
    if (fallback >= 0) return fallback;
    return drives.empty() ? -1 : 0;
}

std::vector<DriveEntry> ProfileDrivesFirst(std::vector<DriveEntry> drives,
                                           const std::function<bool(const QString&)>& holdsProfiles) {
    for (DriveEntry& drive : drives) drive.holdsProfiles = holdsProfiles(drive.rootPath);
    std::stable_partition(drives.begin(), drives.end(),
                          [](const DriveEntry& drive) { return drive.holdsProfiles; });
    return drives;
}

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

bool IsSearchableMount(std::string_view device, std::string_view type, std::string_view mountPoint) {
    if (mountPoint == "/") return true;  // whatever it is made of (an overlay in a container)
    if (InSystemPlace(mountPoint)) return false;
    if (type == "tmpfs" || type == "fuseblk" || type.starts_with("fuse.")) return true;
    static constexpr std::array<std::string_view, 11> kNotFiles = {
        "proc",   "sysfs",    "devtmpfs", "devpts",  "cgroup", "cgroup2",
        "autofs", "squashfs", "overlay",  "debugfs", "tracefs"};
    if (std::find(kNotFiles.begin(), kNotFiles.end(), type) != kNotFiles.end()) return false;
    static constexpr std::array<std::string_view, 6> kNetwork = {"nfs",  "nfs4",  "cifs",
                                                                 "smb3", "smbfs", "9p"};
    if (std::find(kNetwork.begin(), kNetwork.end(), type) != kNetwork.end()) return true;
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
