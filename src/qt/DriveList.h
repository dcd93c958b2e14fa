// The entries of the drive list: on Windows the drive letters ("c: [label]"), elsewhere the
// mounted volumes that hold file systems worth searching, those with user profile folders
// first. Each entry carries its search prefix.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace snapsift {

struct DriveEntry {
    QString text;        // what the list shows
    QString rootPath;    // the volume's root as Qt names it ("C:/", "/", "/media/evidence")
    std::string prefix;  // the search prefix without a trailing separator: "c:", "", "/media/x"
    bool holdsProfiles = false;  // "Users" or "Documents and Settings" at its root
};

// The volumes on offer, read afresh at every call. On Windows the drive letters in their
// order (no drive is asked for its folders: an empty removable drive can stall the asking).
// Elsewhere the searchable mounts, those holding profile folders first, the system's order
// otherwise.
std::vector<DriveEntry> ListDrives();

// The entry to select at start: the first that holds profile folders; else the drive of the
// current folder on Windows and "/" elsewhere; else the first entry; -1 for an empty list.
int InitialDriveIndex(const std::vector<DriveEntry>& drives);

// The entries for which holdsProfiles(rootPath) is true, marked so and put first; the order
// within both parts kept.
std::vector<DriveEntry> ProfileDrivesFirst(std::vector<DriveEntry> drives,
                                           const std::function<bool(const QString&)>& holdsProfiles);

// Index of the entry holding a folder given in Qt form ("/home/ana", "C:/Cases"): the longest
// root that contains it, or -1.
int IndexOfDriveHolding(const std::vector<DriveEntry>& drives, const QString& folder);

// Whether a POSIX mount is worth searching: the root file system; block devices (disks, image
// files on loop devices), network shares, FUSE file systems (NTFS drivers, evidence image
// mounts) and tmpfs. Mounts in the system's own places (/dev, /proc, /sys, /run, but for the
// removable media under /run/media) and kernel interfaces, packages and container layers are not.
bool IsSearchableMount(std::string_view device, std::string_view type, std::string_view mountPoint);

// Entry of a POSIX mount: its mount point, then its label or else its file-system type.
DriveEntry MountEntry(const QString& mountPoint, const QString& label, const QString& type);

// Entry of a Windows drive root such as "C:/": "c:" with " [label]" when it has one.
DriveEntry DriveLetterEntry(const QString& rootPath, const QString& label);

}  // namespace snapsift
