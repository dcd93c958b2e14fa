// The entries of the drive list: on Windows the drive letters ("c: [label]"), elsewhere the
// mounted volumes that hold real file systems. Each entry carries its search prefix.
#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

class QStorageInfo;

namespace snapsift {

struct DriveEntry {
    QString text;        // what the list shows
    QString rootPath;    // the volume's root as Qt names it ("C:/", "/", "/media/evidence")
    std::string prefix;  // the search prefix without a trailing separator: "c:", "", "/media/x"
};

// The volumes on offer, in the system's order; the volume of the current folder among them.
std::vector<DriveEntry> ListDrives();

// Index of the entry holding a folder given in Qt form ("/home/ana", "C:/Cases"): the longest
// root that contains it, or -1.
int IndexOfDriveHolding(const std::vector<DriveEntry>& drives, const QString& folder);

// Whether a POSIX mount is a real file system worth searching: a block device (disks, image
// files on loop devices), a network share, or whatever holds the current folder.
bool IsSearchableMount(std::string_view device, std::string_view type, bool holdsCurrentFolder);

// Entry of a POSIX mount: its mount point, then its label or else its file-system type.
DriveEntry MountEntry(const QString& mountPoint, const QString& label, const QString& type);

// Entry of a Windows drive root such as "C:/": "c:" with " [label]" when it has one.
DriveEntry DriveLetterEntry(const QString& rootPath, const QString& label);

}  // namespace snapsift
