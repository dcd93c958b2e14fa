// The drive list's rules, whatever lists the volumes: which mounts are worth searching, each
// entry's text and search prefix, the volumes holding user profile folders first, the entry
// selected at start and the one kept when the list is read again.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace snapsift {

struct DriveEntry {
    std::string text;     // what the list shows (UTF-8)
    std::string rootPath; // the volume's root: "C:/" or "C:\", "/", "/media/evidence"
    std::string prefix;   // the search prefix without a trailing separator: "c:", "", "/media/x"
    bool holdsProfiles = false;  // "Users" or "Documents and Settings" at its root
};

// The folders whose presence at a volume's root marks it as holding user profiles.
inline constexpr std::string_view kProfileFolderNames[] = {"Users", "Documents and Settings"};

// The entries for which holdsProfiles(rootPath) is true, marked so and put first; the order
// within both parts kept.
std::vector<DriveEntry> ProfileDrivesFirst(std::vector<DriveEntry> drives,
                                           const std::function<bool(const std::string&)>& holdsProfiles);

// Index of the entry holding a folder ("/home/ana", "C:/Cases", "C:\Cases"): the longest root
// that contains it by whole path parts, drive letters in either case; or -1.
int IndexOfDriveHolding(const std::vector<DriveEntry>& drives, std::string_view folder);

// The entry to select at start: the first that holds profile folders; else the drive of the
// current folder on Windows and "/" elsewhere; else the first entry; -1 for an empty list.
int InitialDriveIndex(const std::vector<DriveEntry>& drives, std::string_view currentFolder);

// The entry to select once the list has been read again: the volume selected before
// (`selectedPrefix`, when one was) wherever it now is, else the initial entry.
int IndexAfterReread(const std::vector<DriveEntry>& drives, const std::string* selectedPrefix,
                     std::string_view currentFolder);

// Whether a POSIX mount is worth searching: the root file system; block devices (disks, image
// files on loop devices), network shares, FUSE file systems (NTFS drivers, evidence image
// mounts) and tmpfs. Mounts in the system's own places (/dev, /proc, /sys, /run, but for the
// removable media under /run/media) and kernel interfaces, packages and container layers are not.
bool IsSearchableMount(std::string_view device, std::string_view type, std::string_view mountPoint);

// Entry of a POSIX mount: its mount point, then its label or else its file-system type.
DriveEntry MountEntry(const std::string& mountPoint, const std::string& label, const std::string& type);

// Entry of a Windows drive root such as "C:/" or "C:\": "c:" with " [label]" when it has one.
DriveEntry DriveLetterEntry(const std::string& rootPath, const std::string& label);

// What the first choice of a Windows drive letter knows of each entry: whether it is a fixed
// disk, and the names of the folders at its root (read on fixed disks only).
struct DriveRootFolders {
    bool fixed = false;
    std::vector<std::string> folders;
};

// The drive letter entry to select when the list is first read: the first fixed disk that holds
// one of kProfileFolderNames at its root, in any case; else the initial entry (InitialDriveIndex).
// roots[i] describes drives[i].
int FirstProfileDriveIndex(const std::vector<DriveEntry>& drives, const std::vector<DriveRootFolders>& roots,
                           std::string_view currentFolder);

}  // namespace snapsift
