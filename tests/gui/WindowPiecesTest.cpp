// The window's pure pieces: the folder chooser's path rule, the drive list's choice of
// volumes and their entries, twips at several resolutions, and the text of message boxes.
#include <QFontMetrics>
#include <QTest>

#include "app/DriveList.h"
#include "app/FormMetrics.h"
#include "app/WindowServices.h"
#include "platform/BrowseFolder.h"

namespace snapsift {

class WindowPiecesTest : public QObject {
    Q_OBJECT

private slots:
    void folderPathFromChooser_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder") << "D:\\Cases" << "\\" << "D:\\Cases\\";
        QTest::newRow("drive root") << "E:\\" << "\\" << "E:\\";
        QTest::newRow("share") << "\\\\server\\share" << "\\" << "\\\\server\\share\\";
        QTest::newRow("cancel, Windows") << "" << "\\" << "";
        QTest::newRow("mount point") << "/media/x" << "/" << "/media/x/";
        QTest::newRow("root folder") << "/" << "/" << "/";
        QTest::newRow("cancel, POSIX") << "" << "/" << "";
        QTest::newRow("trailing separator") << "/media/x/" << "/" << "/media/x/";
        QTest::newRow("non-ASCII name") << "/home/ana/Fotos ñ" << "/" << "/home/ana/Fotos ñ/";
    }
    void folderPathFromChooser() {
        QFETCH(QString, chosen);
        QFETCH(QString, separator);
        QFETCH(QString, expected);
        const std::string result =
            FolderPathFromChooser(chosen.toStdString(), separator.toLatin1().at(0));
        QCOMPARE(QString::fromStdString(result), expected);
    }

    void searchableMounts_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("holdsCurrent");
        QTest::addColumn<bool>("searchable");
        QTest::newRow("disk") << "/dev/sda1" << "ext4" << false << true;
        QTest::newRow("NTFS evidence disk") << "/dev/sdb2" << "fuseblk" << false << true;
        QTest::newRow("image on a loop device") << "/dev/loop3" << "ntfs3" << false << true;
        QTest::newRow("Windows share") << "//server/c$" << "cifs" << false << true;
        QTest::newRow("NFS export") << "server:/export" << "nfs4" << false << true;
        QTest::newRow("proc") << "proc" << "proc" << false << false;
        QTest::newRow("sysfs") << "sysfs" << "sysfs" << false << false;
        QTest::newRow("cgroup") << "cgroup" << "cgroup2" << false << false;
        QTest::newRow("tmpfs") << "tmpfs" << "tmpfs" << false << false;
        QTest::newRow("snap package") << "/dev/loop7" << "squashfs" << false << false;
        QTest::newRow("container root") << "overlay" << "overlay" << false << false;
        QTest::newRow("container root holding the current folder")
            << "overlay" << "overlay" << true << true;
        QTest::newRow("tmpfs holding the current folder") << "tmpfs" << "tmpfs" << true << true;
    }
    void searchableMounts() {
        QFETCH(QString, device);
        QFETCH(QString, type);
        QFETCH(bool, holdsCurrent);
        QFETCH(bool, searchable);
        const std::string deviceText = device.toStdString();
        const std::string typeText = type.toStdString();
        QCOMPARE(IsSearchableMount(deviceText, typeText, holdsCurrent), searchable);
    }

    void driveEntries_data() {
        QTest::addColumn<bool>("letter");
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("root volume") << false << "/" << "" << "ext4" << "/ [ext4]" << "";
        QTest::newRow("labelled mount") << false << "/media/evidence" << "CASE_0142" << "ntfs3"
                                        << "/media/evidence [CASE_0142]" << "/media/evidence";
        QTest::newRow("mount with slash") << false << "/mnt/x/" << "" << "vfat" << "/mnt/x/ [vfat]"
                                          << "/mnt/x";
        QTest::newRow("drive with label") << true << "C:/" << "System" << "" << "c: [System]"
                                          << "c:";
        QTest::newRow("drive without label") << true << "E:/" << "" << "" << "e:" << "e:";
    }
    void driveEntries() {
        QFETCH(bool, letter);
        QFETCH(QString, root);
        QFETCH(QString, label);
        QFETCH(QString, type);
        QFETCH(QString, text);
        QFETCH(QString, prefix);
        const DriveEntry entry = letter ? DriveLetterEntry(root, label) : MountEntry(root, label, type);
        QCOMPARE(entry.text, text);
        QCOMPARE(QString::fromStdString(entry.prefix), prefix);
        QCOMPARE(entry.rootPath, root);
        // The drive list's contract: a Windows entry begins with the letter and a colon.
        if (letter) QVERIFY(entry.text.mid(1, 1) == QStringLiteral(":"));
    }

    void driveHoldingFolder_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("index");
        QTest::newRow("on the root volume") << "/home/ana" << 0;
        QTest::newRow("on a mount") << "/media/evidence/Users" << 1;
        QTest::newRow("the mount point itself") << "/media/evidence" << 1;
        QTest::newRow("a name that only begins like a mount") << "/media/evidence2/x" << 0;
        QTest::newRow("nested mount wins") << "/media/evidence/inner/a" << 2;
        QTest::newRow("Windows drive") << "D:/Cases" << 3;
        QTest::newRow("Windows drive, other case") << "d:/Cases" << 3;
        QTest::newRow("mount point, other case") << "/Media/evidence/x" << 0;
    }
    void driveHoldingFolder() {
        QFETCH(QString, folder);
        QFETCH(int, index);
        const std::vector<DriveEntry> drives = {
            MountEntry("/", "", "ext4"), MountEntry("/media/evidence", "", "ntfs3"),
            MountEntry("/media/evidence/inner", "", "vfat"), DriveLetterEntry("D:/", "")};
        QCOMPARE(IndexOfDriveHolding(drives, folder), index);
    }
    void driveHoldingFolderNone() {
        const std::vector<DriveEntry> drives = {MountEntry("/media/evidence", "", "ntfs3")};
        QCOMPARE(IndexOfDriveHolding(drives, "/home"), -1);
        QCOMPARE(IndexOfDriveHolding({}, "/home"), -1);
    }

    void listedDrivesHoldTheCurrentFolder() {
        // Whatever this machine mounts, the volume of the current folder is on offer and
        // every entry's prefix is its mount point without the trailing separator.
        const std::vector<DriveEntry> drives = ListDrives();
        QVERIFY(!drives.empty());
        QVERIFY(IndexOfDriveHolding(drives, QDir::currentPath()) >= 0);
        for (const DriveEntry& drive : drives) {
            QVERIFY2(!QString::fromStdString(drive.prefix).endsWith(u'/'), qPrintable(drive.text));
            QVERIFY2(drive.text.startsWith(drive.rootPath), qPrintable(drive.text));
            QVERIFY2(!drive.rootPath.startsWith("/proc") && !drive.rootPath.startsWith("/sys"),
                     qPrintable(drive.text));
        }
    }

    void twipsAtResolutions_data() {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<int>("clientHeight");
        // cmdSTART (2160, 3960, 2295, 615) and the idle client height of 4770 twips.
        QTest::newRow("96 DPI") << 96.0 << QRect(144, 264, 153, 41) << 318;
        QTest::newRow("120 DPI") << 120.0 << QRect(180, 330, 191, 51) << 398;
        QTest::newRow("144 DPI") << 144.0 << QRect(216, 396, 230, 62) << 477;
    }
    void twipsAtResolutions() {
        QFETCH(double, dpi);
        QFETCH(QRect, rect);
        QFETCH(int, clientHeight);
        const TwipsScale scale(dpi, dpi);
        QCOMPARE(scale.Rect(2160, 3960, 2295, 615), rect);
        QCOMPARE(scale.Y(4770), clientHeight);
    }
    void twipsEdgesMeet() {
        // Two controls that touch in twips touch in pixels at any resolution: Label1 ends at
        // 570 twips and a control starting there starts where it ends.
        const TwipsScale scale(110.0, 110.0);
        const QRect upper = scale.Rect(240, 75, 6495, 495);
        const QRect lower = scale.Rect(240, 570, 6495, 375);
        QCOMPARE(upper.bottom() + 1, lower.top());
    }

    void fitFontShrinksOnlyWhenNeeded() {
        const QFont font = FormFont(Face::SansSerif, 8.25);
        const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
        const QString caption = QStringLiteral("Only Search User Profile Folders On Selected Drive");
        const QRect oneLine = QFontMetrics(font).boundingRect(caption);
        QCOMPARE(FitFont(font, QRect(0, 0, oneLine.width() + 4, oneLine.height() + 4), flags,
                         caption).pointSizeF(), 8.25);
        // 85 % of the width on one line's height: too small at the designed size, fine a
        // little smaller, and then the text fits the box.
        const QRect tight(0, 0, oneLine.width() * 85 / 100, oneLine.height());
        const QFont fitted = FitFont(font, tight, flags, caption);
        QVERIFY(fitted.pointSizeF() < 8.25);
        QVERIFY(fitted.pointSizeF() >= 8.25 * 0.7);
        const QRect needed = QFontMetrics(fitted).boundingRect(tight, flags, caption);
        QVERIFY(needed.width() <= tight.width() && needed.height() <= tight.height());
        // A text that cannot fit even at the floor keeps the designed size.
        QCOMPARE(FitFont(font, QRect(0, 0, 10, 5), flags, caption).pointSizeF(), 8.25);
    }

    void messageBoxText() {
        QCOMPARE(MessageBoxText("Operation complete.\r\n\r\nTotal files found: 3"),
                 QStringLiteral("Operation complete.\n\nTotal files found: 3"));
        QCOMPARE(MessageBoxText("no breaks"), QStringLiteral("no breaks"));
    }
};

}  // namespace snapsift

QTEST_MAIN(snapsift::WindowPiecesTest)
#include "WindowPiecesTest.moc"
