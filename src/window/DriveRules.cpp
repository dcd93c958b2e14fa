#include "window/DriveRules.h"

#include <algorithm>
#include <array>
#include <cctype>

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

// The path with "/" separators, no doubled ones, ending in one "/".
std::string WithClosingSlash(std::string_view path) {
    std::string clean;
    for (char c : path) {
        if (c == '\\') c = '/';
        if (c == '/' && !clean.empty() && clean.back() == '/') continue;
        clean += c;
    }
    if (clean.empty() || clean.back() != '/') clean += '/';
    return clean;
}

bool IsDriveLetterRoot(std::string_view root) { return root.size() == 3 && root[1] == ':'; }

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::vector<DriveEntry> ProfileDrivesFirst(std::vector<DriveEntry> drives,
                                           const std::function<bool(const std::string&)>& holdsProfiles) {
    for (DriveEntry& drive : drives) drive.holdsProfiles = holdsProfiles(drive.rootPath);
    std::stable_partition(drives.begin(), drives.end(),
                          [](const DriveEntry& drive) { return drive.holdsProfiles; });
    return drives;
}

int IndexOfDriveHolding(const std::vector<DriveEntry>& drives, std::string_view folder) {
    const std::string path = WithClosingSlash(folder);
    int best = -1;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const std::string root = WithClosingSlash(drives[i].rootPath);
        // Drive letters are the same in either case; mount points are not.
        const bool holds = IsDriveLetterRoot(root) ? Lower(path).starts_with(Lower(root)) : path.starts_with(root);
        if (holds && (best < 0 || root.size() > bestLength)) {
            best = static_cast<int>(i);
            bestLength = root.size();
        }
    }
    return best;
}

int InitialDriveIndex(const std::vector<DriveEntry>& drives, [[maybe_unused]] std::string_view currentFolder) {
    const auto profiles = std::find_if(drives.begin(), drives.end(),
                                       [](const DriveEntry& drive) { return drive.holdsProfiles; });
    if (profiles != drives.end()) return static_cast<int>(profiles - drives.begin());
#ifdef _WIN32
    const int fallback = IndexOfDriveHolding(drives, currentFolder);
#else
    const int fallback = IndexOfDriveHolding(drives, "/");
#endif
    if (fallback >= 0) return fallback;
    return drives.empty() ? -1 : 0;
}

int IndexAfterReread(const std::vector<DriveEntry>& drives, const std::string* selectedPrefix,
                     std::string_view currentFolder) {
    if (selectedPrefix != nullptr) {
        for (std::size_t i = 0; i < drives.size(); ++i) {
            if (drives[i].prefix == *selectedPrefix) return static_cast<int>(i);
        }
    }
    return InitialDriveIndex(drives, currentFolder);
}

bool IsSearchableMount(std::string_view device, std::string_view type, std::string_view mountPoint) {
    if (mountPoint == "/") return true;  // whatever it is made of (an overlay in a container)
    if (InSystemPlace(mountPoint)) return false;
    // Any FUSE file system but the system's own: NTFS drivers and image mounts name their device
    // as they please (the image file itself), and some give no subtype at all.
    if (type == "fuse" || type == "fuseblk" || type.starts_with("fuse.")) {
        static constexpr std::array<std::string_view, 3> kSystemFuse = {"fuse.lxcfs", "fuse.snapfuse",
                                                                       "fuse.squashfuse"};
        return std::find(kSystemFuse.begin(), kSystemFuse.end(), type) == kSystemFuse.end();
    }
    if (type == "tmpfs") return true;
    static constexpr std::array<std::string_view, 11> kNotFiles = {
        "proc",   "sysfs",    "devtmpfs", "devpts",  "cgroup", "cgroup2",
        "autofs", "squashfs", "overlay",  "debugfs", "tracefs"};
    if (std::find(kNotFiles.begin(), kNotFiles.end(), type) != kNotFiles.end()) return false;
    static constexpr std::array<std::string_view, 6> kNetwork = {"nfs",  "nfs4",  "cifs",
                                                                 "smb3", "smbfs", "9p"};
    if (std::find(kNetwork.begin(), kNetwork.end(), type) != kNetwork.end()) return true;
    return device.starts_with("/dev/") || device.starts_with("//");
}

DriveEntry MountEntry(const std::string& mountPoint, const std::string& label, const std::string& type) {
    DriveEntry entry;
    entry.rootPath = mountPoint;
    entry.text = mountPoint + " [" + (label.empty() ? type : label) + "]";
    std::string prefix = mountPoint;
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    entry.prefix = prefix;
    return entry;
}

DriveEntry DriveLetterEntry(const std::string& rootPath, const std::string& label) {
    DriveEntry entry;
    entry.rootPath = rootPath;
    const std::string letter = Lower(rootPath.substr(0, 2));
    entry.text = label.empty() ? letter : letter + " [" + label + "]";
    entry.prefix = letter;
    return entry;
}

int FirstProfileDriveIndex(const std::vector<DriveEntry>& drives, const std::vector<DriveRootFolders>& roots,
                           std::string_view currentFolder) {
    for (std::size_t i = 0; i < drives.size() && i < roots.size(); ++i) {
        if (!roots[i].fixed) continue;
        for (const std::string& folder : roots[i].folders) {
            const std::string name = Lower(folder);
            for (const std::string_view profiles : kProfileFolderNames) {
                if (name == Lower(std::string(profiles))) return static_cast<int>(i);
            }
        }
    }
    return InitialDriveIndex(drives, currentFolder);
}

}  // namespace snapsift
