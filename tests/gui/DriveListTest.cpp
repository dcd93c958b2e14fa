// The drive list: which mounts it offers, their entries, order and first selection, and the
// combo box that reads the list again when it opens.
#include <QtTest>

#include "qt/DriveCombo.h"
#include "qt/DriveList.h"

namespace snapsift {

// Entries typed "ext4" for the mount points in `roots`, separated by spaces.
std::vector<DriveEntry> Mounts(const QString& roots) {
    std::vector<DriveEntry> drives;
    for (const QString& root : roots.split(u' ', Qt::SkipEmptyParts)) drives.push_back(MountEntry(root, "", "ext4"));
    return drives;
}

class DriveListTest : public QObject {
    Q_OBJECT

private slots:
    // Mounts written "device type mount-point": those offered, then those passed over.
    void searchableMounts() {
        const QStringList offered = {"/dev/sdb1 fuseblk /media/ana/CASE", "ntfs-3g fuse.ntfs-3g /mnt/c",
            "ewfmount fuse.ewfmount /mnt/ewf", "tmpfs tmpfs /mnt/x", "tmpfs tmpfs /runner", "/dev/sdb1 ext4 /mnt/case",
            "/dev/sdc1 exfat /run/media/ana/USB", "overlay overlay /", "//server/share cifs /mnt/share"};
        const QStringList passedOver = {"fusectl fusectl /sys/fs/fuse/connections", "tmpfs tmpfs /run/user/0",
            "portal fuse.portal /run/user/1000/doc", "proc proc /proc", "/dev/loop3 squashfs /snap/core/17"};
        QStringList got;
        for (const QString& mount : offered + passedOver) {
            const QStringList m = mount.split(u' ');
            if (IsSearchableMount(m[0].toStdString(), m[1].toStdString(), m[2].toStdString())) got << mount;
        }
        QCOMPARE(got, offered);
    }

    // Each entry's text and search prefix; the entry holding a folder is the longest root that
    // holds it by whole path parts, drive letters in any case.
    void entriesAndTheDriveHoldingAFolder() {
        const std::vector drives = {MountEntry("/", "", "ext4"), MountEntry("/media/evidence", "CASE", "ntfs"),
                                    MountEntry("/media/evidence2/", "", "exfat"), DriveLetterEntry("C:/", "SYSTEM"),
                                    DriveLetterEntry("D:/", "")};
        QStringList got;
        for (const DriveEntry& drive : drives) got << drive.text + " -> " + QString::fromStdString(drive.prefix);
        for (const char* folder : {"/media/evidence2/Users", "/media/evidence", "/home/ana", "c:/Cases"})
            got << folder + QString(" in %1").arg(IndexOfDriveHolding(drives, folder));
        QCOMPARE(got, QStringList({"/ [ext4] -> ", "/media/evidence [CASE] -> /media/evidence",
                                   "/media/evidence2/ [exfat] -> /media/evidence2", "c: [SYSTEM] -> c:", "d: -> d:",
                                   "/media/evidence2/Users in 2", "/media/evidence in 1", "/home/ana in 0",
                                   "c:/Cases in 3"}));
    }

    // Mounts holding profile folders ("*") first, then the rest, each part in the system's order;
    // the first of them selected (@), else "/", else the first entry.
    void profilesFirstAndInitialSelection() {
        const struct { QStringList holding; QString listed, ordered; } rows[] = {
            {{}, "/media/a / /mnt/c", "/media/a @/ /mnt/c"}, {{"/mnt/c"}, "/media/a / /mnt/c", "@/mnt/c* /media/a /"},
            {{"/mnt/c", "/media/a"}, "/media/a / /mnt/c", "@/media/a* /mnt/c* /"},
            {{}, "/media/a /mnt/c", "@/media/a /mnt/c"}, {{}, "", ""}};
        for (const auto& row : rows) {
            const auto holds = [&](const QString& root) { return row.holding.contains(root); };
            const std::vector<DriveEntry> drives = ProfileDrivesFirst(Mounts(row.listed), holds);
            QStringList roots;
            for (const DriveEntry& drive : drives) roots << drive.rootPath + (drive.holdsProfiles ? "*" : "");
            if (const int initial = InitialDriveIndex(drives); initial >= 0) roots[initial].prepend(u'@');
            QCOMPARE(roots.join(u' '), row.ordered);
        }
    }

    // Opening the list reads it again; the selected volume stays selected (@) wherever it now is,
    // and when it is gone the new list's initial entry is.
    void comboKeepsSelectionAcrossReread() {
        const struct { const char* name; QString before; int chosen; QString after, shown, prefix; } rows[] = {
            {"still there, moved", "/ /media/a /media/b", 2, "/media/x / /media/b", "/media/x,/,@/media/b", "/media/b"},
            {"the root, moved", "/media/a /", 1, "/media/b /media/a /", "/media/b,/media/a,@/", ""},
            {"gone", "/media/a /media/b", 1, "/media/c /media/a", "@/media/c,/media/a", "/media/c"}};
        for (const auto& row : rows) {
            QString listed = row.before;
            DriveCombo combo(nullptr, [&] { return Mounts(listed); });
            combo.setCurrentIndex(row.chosen);
            listed = row.after;
            combo.showPopup();
            combo.hidePopup();
            QStringList shown;
            for (int i = 0; i < combo.count(); ++i) shown << (i == combo.currentIndex() ? "@" : "") + combo.itemText(i);
            QCOMPARE(QStringList({row.name, shown.join(u',').remove(" [ext4]"), combo.SelectedPrefix().c_str()}),
                     QStringList({row.name, row.shown, row.prefix}));
        }
    }
};

}  // namespace snapsift

QTEST_MAIN(snapsift::DriveListTest)
#include "DriveListTest.moc"
