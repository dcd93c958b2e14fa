// The drive list: which mounts it offers, its order and first selection, its entries, and the
// combo box that reads the list again when it opens.
#include <QApplication>
#include <QtTest>

#include "qt/DriveCombo.h"
#include "qt/DriveList.h"

namespace snapsift {
namespace {

// Entries for the mount points in `roots` (separated by spaces), typed "ext4"; a root
// written with a trailing "*" holds profile folders.
std::vector<DriveEntry> Mounts(const QString& roots) {
    std::vector<DriveEntry> drives;
    for (QString root : roots.split(u' ', Qt::SkipEmptyParts)) {
        const bool profiles = root.endsWith(u'*');
        if (profiles) root.chop(1);
        drives.push_back(MountEntry(root, QString(), QStringLiteral("ext4")));
        drives.back().holdsProfiles = profiles;
    }
    return drives;
}

}  // namespace

class DriveListTest : public QObject {
    Q_OBJECT

private slots:
    void searchableMounts() {
        struct Row { const char* name; const char* device; const char* type; const char* mountPoint; bool searchable; };
        const Row rows[] = {
            {"NTFS disk through FUSE", "/dev/sdb1", "fuseblk", "/media/ana/CASE", true},
            {"NTFS by FUSE type", "ntfs-3g", "fuse.ntfs-3g", "/mnt/c", true},
            {"evidence image", "ewfmount", "fuse.ewfmount", "/mnt/ewf", true},
            {"FUSE control", "fusectl", "fusectl", "/sys/fs/fuse/connections", false},
            {"desktop portal", "portal", "fuse.portal", "/run/user/1000/doc", false},
            {"tmpfs in /mnt", "tmpfs", "tmpfs", "/mnt/x", true},
            {"tmpfs of a session", "tmpfs", "tmpfs", "/run/user/0", false},
            {"tmpfs beside /run", "tmpfs", "tmpfs", "/runner", true},
            {"proc", "proc", "proc", "/proc", false},
            {"ext4 disk", "/dev/sdb1", "ext4", "/mnt/case", true},
            {"removable disk", "/dev/sdc1", "exfat", "/run/media/ana/USB", true},
            {"snap package", "/dev/loop3", "squashfs", "/snap/core/17", false},
            {"container root", "overlay", "overlay", "/", true},
            {"network share", "//server/share", "cifs", "/mnt/share", true}};
        QStringList wrong;
        for (const Row& row : rows)
            if (IsSearchableMount(row.device, row.type, row.mountPoint) != row.searchable) wrong << row.name;
        QCOMPARE(wrong, QStringList());
    }

    // Mounts holding profile folders ("*") first, then the rest, each part in the system's order;
    // the first of them selected, else "/", else the first entry.
    void profileOrderAndInitialSelection() {
        struct Row { const char* listed; QStringList holding; const char* ordered; int initial; };
        const Row rows[] = {{"/media/a / /mnt/c", {}, "/media/a / /mnt/c", 1},
                            {"/media/a / /mnt/c", {"/mnt/c"}, "/mnt/c* /media/a /", 0},
                            {"/media/a / /mnt/c", {"/mnt/c", "/media/a"}, "/media/a* /mnt/c* /", 0},
                            {"/media/a /mnt/c", {}, "/media/a /mnt/c", 0},
                            {"", {}, "", -1}};
        for (const Row& row : rows) {
            const std::vector<DriveEntry> drives =
                ProfileDrivesFirst(Mounts(row.listed), [&](const QString& root) { return row.holding.contains(root); });
            QStringList roots;
            for (const DriveEntry& drive : drives) roots << drive.rootPath + (drive.holdsProfiles ? "*" : "");
            QCOMPARE(roots.join(u' ') + " @" + QString::number(InitialDriveIndex(drives)),
                     row.ordered + QString(" @") + QString::number(row.initial));
        }
    }

    void entryTextAndPrefix() {
        const std::vector drives = {MountEntry("/media/evidence", "CASE", "ntfs"), MountEntry("/mnt/x/", "", "exfat"),
                                    MountEntry("/", "", "ext4"), DriveLetterEntry("C:/", "SYSTEM"),
                                    DriveLetterEntry("D:/", "")};
        QStringList got;
        for (const DriveEntry& drive : drives) got << drive.text + " -> " + QString::fromStdString(drive.prefix);
        QCOMPARE(got, QStringList({"/media/evidence [CASE] -> /media/evidence", "/mnt/x/ [exfat] -> /mnt/x",
                                   "/ [ext4] -> ", "c: [SYSTEM] -> c:", "d: -> d:"}));
    }

    // The longest root holding the folder wins, by whole path parts; letters in any case.
    void driveHoldingFolder() {
        const std::vector drives = {MountEntry("/", "", "ext4"), MountEntry("/media/evidence", "CASE", "ntfs"),
                                    MountEntry("/media/evidence2", "", "exfat"), DriveLetterEntry("C:/", "")};
        QList<int> got;
        for (const char* folder : {"/media/evidence2/Users", "/media/evidence", "/home/ana", "c:/Cases"})
            got << IndexOfDriveHolding(drives, folder);
        QCOMPARE(got, QList<int>({2, 1, 0, 3}));
    }

    // Opening the list reads it again; the selected volume stays selected wherever it now is,
    // and when it is gone the new list's initial entry is selected.
    void comboKeepsSelectionAcrossReread() {
        struct Row { const char* name; QString before; int chosen; QString after; const char* shown; int selected; const char* prefix; };
        const Row rows[] = {
            {"still there, moved", "/ /media/a /media/b", 2, "/media/new / /media/b",
             "/media/new [ext4],/ [ext4],/media/b [ext4]", 2, "/media/b"},
            {"the root, moved", "/media/a /", 1, "/media/b /media/a /", "/media/b [ext4],/media/a [ext4],/ [ext4]", 2, ""},
            {"gone", "/ /media/a", 1, "/media/c* /", "/media/c [ext4],/ [ext4]", 0, "/media/c"}};
        for (const Row& row : rows) {
            QString listed = row.before;
            DriveCombo combo(nullptr, [&] { return Mounts(listed); });
            combo.setCurrentIndex(row.chosen);
            listed = row.after;
            combo.showPopup();
            combo.hidePopup();
            QStringList texts;
            for (int i = 0; i < combo.count(); ++i) texts << combo.itemText(i);
            QCOMPARE(QStringList({row.name, texts.join(u','), QString::number(combo.currentIndex()),
                                  QString::fromStdString(combo.SelectedPrefix())}),
                     QStringList({row.name, row.shown, QString::number(row.selected), row.prefix}));
        }
    }
};

}  // namespace snapsift

QTEST_MAIN(snapsift::DriveListTest)
#include "DriveListTest.moc"
