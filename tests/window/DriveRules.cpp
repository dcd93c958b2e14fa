// The drive list's rules on plain strings: the mounts worth searching, the entries' texts and
// prefixes, the drive holding a folder, profile volumes first and the entry selected.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "window/DriveRules.h"

namespace snapsift::test {

static std::vector<DriveEntry> Mounts(const std::vector<std::string>& roots) {
    std::vector<DriveEntry> drives;
    for (const std::string& root : roots) drives.push_back(MountEntry(root, "", "ext4"));
    return drives;
}

// Mounts written "device type mount-point": those offered, then those passed over.
TEST(DriveRules, SearchableMounts) {
    const std::vector<std::array<std::string, 3>> offered = {
        {"/dev/sdb1", "fuseblk", "/media/ana/CASE"}, {"ntfs-3g", "fuse.ntfs-3g", "/mnt/c"},
        {"ewfmount", "fuse.ewfmount", "/mnt/ewf"}, {"tmpfs", "tmpfs", "/mnt/x"}, {"tmpfs", "tmpfs", "/runner"},
        {"/dev/sdb1", "ext4", "/mnt/case"}, {"/dev/sdc1", "exfat", "/run/media/ana/USB"}, {"overlay", "overlay", "/"},
        {"//server/share", "cifs", "/mnt/share"}, {"/cases/case.img", "fuse", "/mnt/image"},
        {"/cases/case.img", "fuseblk", "/mnt/image2"}, {"sshfs", "fuse", "/mnt/remote"}};
    const std::vector<std::array<std::string, 3>> passedOver = {
        {"fusectl", "fusectl", "/sys/fs/fuse/connections"}, {"tmpfs", "tmpfs", "/run/user/0"},
        {"portal", "fuse.portal", "/run/user/1000/doc"}, {"proc", "proc", "/proc"},
        {"/dev/loop3", "squashfs", "/snap/core/17"}, {"lxcfs", "fuse.lxcfs", "/var/lib/lxcfs"},
        {"snapfuse", "fuse.snapfuse", "/snap/core/17"}, {"/cases/case.img", "fuse", "/run/user/0/image"}};
    for (const auto& m : offered) EXPECT_TRUE(IsSearchableMount(m[0], m[1], m[2])) << m[2];
    for (const auto& m : passedOver) EXPECT_FALSE(IsSearchableMount(m[0], m[1], m[2])) << m[2];
}

// Each entry's text and search prefix; the entry holding a folder is the longest root that holds
// it by whole path parts, drive letters in any case and with either separator.
TEST(DriveRules, EntriesAndTheDriveHoldingAFolder) {
    const std::vector drives = {MountEntry("/", "", "ext4"), MountEntry("/media/evidence", "CASE", "ntfs"),
                                MountEntry("/media/evidence2/", "", "exfat"), DriveLetterEntry("C:/", "SYSTEM"),
                                DriveLetterEntry("D:\\", "")};
    std::string got;
    for (const DriveEntry& drive : drives) got += drive.text + " -> " + drive.prefix + "; ";
    EXPECT_EQ(got, "/ [ext4] -> ; /media/evidence [CASE] -> /media/evidence; /media/evidence2/ [exfat] -> "
                   "/media/evidence2; c: [SYSTEM] -> c:; d: -> d:; ");
    const std::pair<const char*, int> folders[] = {{"/media/evidence2/Users", 2}, {"/media/evidence", 1},
                                                   {"/media/evidence22", 0}, {"/home/ana", 0}, {"c:/Cases", 3},
                                                   {"D:\\Work", 4}, {"e:\\Work", -1}};
    for (const auto& [folder, index] : folders) EXPECT_EQ(IndexOfDriveHolding(drives, folder), index) << folder;
}

// Mounts holding profile folders ("*") first, then the rest, each part in the system's order;
// the first of them selected (@), else "/", else the first entry; after a re-read the volume
// selected before, wherever it now is, else the initial entry.
TEST(DriveRules, ProfilesFirstAndTheSelection) {
    const struct { std::vector<std::string> holding, listed; std::string ordered; } rows[] = {
        {{}, {"/media/a", "/", "/mnt/c"}, "/media/a @/ /mnt/c "},
        {{"/mnt/c"}, {"/media/a", "/", "/mnt/c"}, "@/mnt/c* /media/a / "},
        {{"/mnt/c", "/media/a"}, {"/media/a", "/", "/mnt/c"}, "@/media/a* /mnt/c* / "},
        {{}, {"/media/a", "/mnt/c"}, "@/media/a /mnt/c "},
        {{}, {}, ""}};
    for (const auto& row : rows) {
        const auto holds = [&](const std::string& root) { return std::ranges::find(row.holding, root) != row.holding.end(); };
        const std::vector<DriveEntry> drives = ProfileDrivesFirst(Mounts(row.listed), holds);
        const int initial = InitialDriveIndex(drives, "/home");
        std::string got;
        for (std::size_t i = 0; i < drives.size(); ++i)
            got += (static_cast<int>(i) == initial ? "@" : "") + drives[i].rootPath + (drives[i].holdsProfiles ? "* " : " ");
        EXPECT_EQ(got, row.ordered);
    }
    const std::vector<DriveEntry> reread = Mounts({"/media/x", "/", "/media/b"});
    const std::string kept = "/media/b", gone = "/media/a";
    for (const auto& [selected, index] : {std::pair{&kept, 2}, {&gone, 1}, {nullptr, 1}})
        EXPECT_EQ(IndexAfterReread(reread, selected, ""), index) << (selected ? *selected : "none");
}

// The first fixed drive letter with a profile folder at its root, in any case, is selected at
// start; removable ones and look-alike names are passed over; else (-2) the initial entry.
TEST(DriveRules, FirstProfileDrive) {
    const std::vector<DriveEntry> drives = {DriveLetterEntry("A:\\", ""), DriveLetterEntry("C:\\", ""),
                                            DriveLetterEntry("D:\\", ""), DriveLetterEntry("E:\\", "")};
    using R = DriveRootFolders;
    const struct { const char* why; std::vector<R> roots; int index; } rows[] = {
        {"fixed D: holds Users", {{false, {}}, {true, {"Windows"}}, {true, {"Users"}}, {true, {"Users"}}}, 2},
        {"any case", {{false, {}}, {true, {"windows", "USERS"}}, {true, {}}, {true, {}}}, 1},
        {"the old name", {{false, {}}, {true, {}}, {true, {"documents and settings"}}, {true, {}}}, 2},
        {"removable A: is passed over", {{false, {"Users"}}, {true, {}}, {true, {}}, {true, {"Users"}}}, 3},
        {"look-alikes", {{false, {}}, {true, {"Users2", "User"}}, {true, {"Documents"}}, {true, {}}}, -2},
        {"none: the current drive", {{false, {}}, {true, {}}, {true, {}}, {true, {}}}, -2},
    };
    for (const auto& row : rows) {
        const int expected = row.index == -2 ? InitialDriveIndex(drives, "D:\\Work") : row.index;
        EXPECT_EQ(FirstProfileDriveIndex(drives, row.roots, "D:\\Work"), expected) << row.why;
    }
}

}  // namespace snapsift::test
