// The Qt side of the window under the offscreen platform, once on each event dispatcher: the main
// window as drawn and as it reaches the logic, its About box, the drive list and its combo box
// with its disk image entries, and the paced event loop turn a scan takes per file.
#include <QSignalSpy>
#include <QTest>
#include <QtWidgets>
#include <unistd.h>

#include "qt/DriveCombo.h"
#include "qt/DriveList.h"
#include "qt/QtMainWindow.h"
#include "qt/PacedEventTurn.h"
#include "qt/WindowServices.h"
#include "qt/AboutBox.h"
#ifdef SNAPSIFT_IMAGES
#include "support/NtfsImages.h"
using snapsift::test::MakeNtfsVolume, snapsift::test::WhyNoNtfsVolumes;
#endif

namespace snapsift {

// What the window asked of the desktop; the folder chooser is always cancelled, the file chooser
// answers `file`.
struct FakeServices : WindowServices {
    QStringList starts, messages, fileChoosers;
    std::vector<QUrl> urls;
    std::string file;
    std::string BrowseFolder(std::string_view, const std::string& at, QWidget*) override {
        starts << at.c_str();
        return "";
    }
    std::string ChooseFile(QWidget*, const QString& title, const QString& filter, const std::string& at) override {
        fileChoosers << title + " " + filter + " at " + at.c_str();
        return file;
    }
    void ShowMessage(QWidget*, const QString& text) override { messages << text; }
    bool AskYesNo(QWidget*, const QString&) override { return false; }
    void OpenUrl(const QUrl& url) override { urls.push_back(url); }
};

// Pixels of a rectangle in twips, each edge rounded on its own so that touching controls touch.
// The tests run at 96 dots per inch: 15 twips a pixel.
QRect FromTwips(int x, int y, int width, int height) {
    const auto at = [](int x, int y) { return QPoint(qRound(x / 15.0), qRound(y / 15.0)); };
    return QRect(at(x, y), at(x + width, y + height) - QPoint(1, 1));
}

QString TextOf(const QWidget* c) { return c->property("text").toString() + c->property("plainText").toString(); }

// Acts with f on the first modal D that comes up, from the event loop.
template <typename D> void WhenModal(std::function<void(D*)> f) {
    QTimer::singleShot(10, [f] { auto d = qobject_cast<D*>(qApp->activeModalWidget()); d ? f(d) : WhenModal(f); });
}

// Entries typed "ext4" for the mount points in `roots`, separated by spaces.
std::vector<DriveEntry> Mounts(const QString& roots) {
    std::vector<DriveEntry> drives;
    for (const QString& root : roots.split(u' ', Qt::SkipEmptyParts)) drives.push_back(MountEntry(root, "", "ext4"));
    return drives;
}

// The combo's entries, the selected one marked "@", then its selected image and prefix.
QString Shown(const DriveCombo& combo) {
    QStringList items;
    for (int i = 0; i < combo.count(); ++i) items << (i == combo.currentIndex() ? "@" : "") + combo.itemText(i);
    return items.join(u',').remove(" [ext4]") + QString(" image %1 ").arg(combo.SelectedImage()) +
           combo.SelectedPrefix().c_str();
}

void Reread(DriveCombo& combo) {  // as opening the list does
    combo.showPopup();
    combo.hidePopup();
}

class QtWindowTest : public QObject {
    Q_OBJECT

    ScanState state_;
    FakeServices services_;
    SystemWindowServices system_;
    std::unique_ptr<QtMainWindow> form_;

    QWidget* Control(const char* name) const { return form_->findChild<QWidget*>(name); }
    void Click(const char* name) { QTest::mouseClick(Control(name), Qt::LeftButton); }
    void Trigger(const char* name) { form_->findChild<QAction*>(name)->trigger(); }

    void NewForm(WindowServices& services) {
        form_.reset();  // before what it refers to
        state_ = {};
        services_ = {};
        form_ = std::make_unique<QtMainWindow>(state_, services);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }

private slots:
    void initTestCase() {
        qInfo() << "dispatcher:" << QAbstractEventDispatcher::instance()->metaObject()->className();
        QApplication::setAttribute(Qt::AA_Use96Dpi);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void init() { NewForm(services_); }

    // Place in twips, text, font (0 points: fitted to the label's box) and first look of each control.
    void controls() {
        const struct { const char* name; QString text; int x, y, w, h; double points; bool bold, shown; } rows[] = {
            {"HelpButton", "?", 6480, 1275, 375, 375, 9.75, true, true},
            {"ProfileFoldersOnly", "Only Search User Profile Folders On Selected Drive", 4200, 1200, 2175, 495, 8.25, false, true},
            {"DriveList", "", 480, 1800, 5055, 360, 9.75, false, true},
            {"OutputFolderBox", "", 120, 3240, 5415, 375, 8.25, false, true},
            {"SourceFolderBox", "", 480, 1800, 5055, 375, 8.25, false, false},
            {"IncludePhotos", "Include photos in report", 4680, 4155, 2055, 255, 8.25, false, true},
            {"AbortButton", "ABORT", 2160, 3960, 2295, 615, 12, true, false},
            {"ProgressFrame", "", 0, 4680, 6975, 1575, 8.25, false, false},
            {"ShownPath", "", 120, 480, 6735, 975, 9.75, false, true},
            {"ScanningLabel", "Scanning:", 120, 160, 855, 255, 8.25, true, true},
            {"StartButton", "START", 2160, 3960, 2295, 615, 12, true, true},
            {"OutputBrowseButton", "Browse", 5640, 3240, 1215, 375, 8.25, false, true},
            {"SearchSubfolders", "Search subfolders", 2880, 1200, 1095, 495, 8.25, false, false},
            {"SourceBrowseButton", "Browse", 5640, 1800, 1215, 375, 8.25, false, false},
            {"ReportNote", "(an HTML report file called 'Quorvia JPG Files.htm' will be saved to this folder, "
                       "along with copies of all the located image files)", 2400, 2520, 3735, 735, 8.25, false, true},
            {"OutputCaption", "Select an output folder:", 120, 2880, 2175, 255, 8.25, true, true},
            {"SourceCaption", "Select a source:", 120, 1440, 1455, 255, 0, true, true},
            {"CopyrightLabel", "Copyright (c) 2026 Snapsift Developers", 240, 615, 6495, 375, 0, true, true},
            {"TitleLabel", "Snapsift v" SNAPSIFT_VERSION, 240, 75, 6495, 495, 0, true, true}};
        for (const auto& row : rows) {
            const QWidget* c = Control(row.name);
            QVERIFY2(TextOf(c) == row.text && c->geometry() == FromTwips(row.x, row.y, row.w, row.h) &&
                     c->isVisibleTo(c->parentWidget()) == row.shown && c->isEnabled() && c->font().bold() == row.bold &&
                     (row.points == 0 || c->font().pointSizeF() == row.points), row.name);
        }
        for (auto box : {"ProfileFoldersOnly", "SearchSubfolders", "IncludePhotos"}) QVERIFY2(Control(box)->property("checked").toBool(), box);
        QCOMPARE(Control("StartButton")->font().family(), Control("TitleLabel")->font().family());  // the titles' face
        QVERIFY(Control("StartButton")->font().family() != Control("OutputBrowseButton")->font().family());
        QVERIFY(form_->windowTitle() == "Snapsift" && form_->minimumSize() == form_->maximumSize());
        QCOMPARE(form_->centralWidget()->size(), FromTwips(0, 0, 6990, 4770).size());
    }

    void tabOrder() {
        const QStringList tabOrder = {"SourceBrowseButton", "SearchSubfolders", "OutputBrowseButton", "StartButton", "AbortButton", "IncludePhotos",
                                      "SourceFolderBox", "OutputFolderBox", "DriveList", "ProfileFoldersOnly", "HelpButton", "ShownPath"};
        QStringList chain;  // one turn of the focus chain
        QWidget* w = Control("SourceBrowseButton");
        do if (tabOrder.contains(w->objectName()) && (w->focusPolicy() & Qt::TabFocus)) chain << w->objectName();
        while ((w = w->nextInFocusChain()) != Control("SourceBrowseButton"));
        QCOMPARE(chain, tabOrder);
    }

    // The running look's extra 1500 twips never push the window below the screen's work area.
    void grownWindowStaysOnTheScreen() {
        const QRect available = form_->screen()->availableGeometry();
        const QRect frame = form_->frameGeometry();
        const int bottom = available.bottom() + 1, grown = frame.height() + FromTwips(0, 0, 0, 1500).height();
        const struct { const char* why; int top, expectedTop; } rows[] = {
            {"room below", available.top(), available.top()},
            {"at the bottom", bottom - frame.height(), bottom - grown}};
        for (const auto& row : rows) {
            form_->SetClientHeight(4770);
            form_->move(40, row.top);
            form_->SetClientHeight(6270);
            QVERIFY2(form_->frameGeometry() == QRect(40, row.expectedTop, frame.width(), grown), row.why);
        }
    }

    // The system's message box, then its folder chooser opening at the last choice.
    void realMessageBoxAndChooser() {
        NewForm(system_);
        QStringList seen;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            seen << box->windowTitle() << box->text() << QString::number(box->icon());
            for (QAbstractButton* button : box->buttons()) seen << button->text().remove('&');
            box->button(QMessageBox::Ok)->click();
        });
        Click("StartButton");  // nothing chosen: no scan
        state_.OutputFolder = QDir::tempPath().toStdString() + "/";
        WhenModal<QFileDialog>([&](QFileDialog* d) {
            seen << d->windowTitle() << d->directory().path();
            d->setDirectory(QDir::root());
            d->QDialog::accept();
        });
        Click("OutputBrowseButton");
        QCOMPARE(seen, QStringList({"Snapsift", "Please choose an output folder.", "0", "OK", "Choose a folder:",
                                    QDir::tempPath()}));
        QCOMPARE(TextOf(Control("OutputFolderBox")), "/");
    }

    // Clicks, and Enter or Return on the focused button, reach the logic; its CR LF line breaks
    // reach the box as LF; the logic reads the drive list's selection and has the say on closing.
    void widgetsReachTheLogic() {
        Click("ProfileFoldersOnly");
        QVERIFY(Control("SourceFolderBox")->isVisible() && !Control("DriveList")->isVisible());
        for (const auto& [button, key] : {std::pair("HelpButton", Qt::Key_Return), std::pair("OutputBrowseButton", Qt::Key_Enter)}) {
            Control(button)->setFocus();
            QTest::keyClick(Control(button), key);
        }
        QCOMPARE(services_.starts, QStringList({""}));
        QCOMPARE(services_.messages.size(), 1);
        QVERIFY(services_.messages.value(0).contains("Internet Files.\n\nIf \"Only"));
        auto* drives = form_->findChild<DriveCombo*>("DriveList");
        drives->SetSource([] { return std::vector{MountEntry("/", "", "ext4"), MountEntry("/media/b", "B", "vfat")}; });
        drives->setCurrentIndex(1);
        QCOMPARE(form_->Logic().SelectedDriveRoot(), "/media/b");
        form_->Logic().SetRunningLook(true);
        QVERIFY(!form_->close());
        form_->Logic().SetRunningLook(false);
        QVERIFY(form_->close());
    }

    // Modeless, its texts and links; it outlives the main window and closes with Esc or Enter.
    void aboutBox() {
        Trigger("AboutItem");
        AboutBox* about = form_->About();
        QVERIFY(about && about->isVisible() && !about->isModal() && about->windowTitle() == "About Snapsift");
        Trigger("AboutItem");
        QCOMPARE(form_->About(), about);
        for (const char* label : {"CopyrightLink", "AddressLink", "Description"})
            QTest::mouseClick(about->findChild<QWidget*>(label), Qt::LeftButton);
        QCOMPARE(services_.urls, std::vector<QUrl>(2, QUrl("https://snapsift.example.org")));
        const std::pair<const char*, QString> texts[] = {
            {"TitleLabel", "Snapsift"}, {"VersionLabel", "Version " SNAPSIFT_VERSION},
            {"Description", "Searches for possible Quorvia JPG image files and creates an HTML report with the "
                               "file names, modified/accessed/created times, MD5 hash, Quorvia ID number, and the "
                               "image itself."},
            {"Disclaimer", "Legal disclaimer: This program is provided free of charge and comes with no "
                              "guarantee or warranty whatsoever. All liability and risk is assumed by the user."}};
        for (const auto& [name, text] : texts) QCOMPARE(TextOf(about->findChild<QWidget*>(name)), text);
        Trigger("ExitItem");
        QVERIFY(!form_->isVisible() && about->isVisible());
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
            QTest::keyClick(form_->About()->findChild<QWidget*>("Description"), key);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY2(!form_->About(), "still open");
            Trigger("AboutItem");
        }
    }

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
        const struct { const char* name; QString before; int chosen; QString after, shown; } rows[] = {
            {"moved", "/ /media/a /media/b", 2, "/media/x / /media/b", "/media/x,/,@/media/b image -1 /media/b"},
            {"the root, moved", "/media/a /", 1, "/media/b /media/a /", "/media/b,/media/a,@/ image -1 "},
            {"gone", "/media/a /media/b", 1, "/media/c /media/a", "@/media/c,/media/a image -1 /media/c"}};
        for (const auto& row : rows) {
            QString listed = row.before;
            DriveCombo combo(nullptr, [&] { return Mounts(listed); });
            combo.setCurrentIndex(row.chosen);
            listed = row.after;
            Reread(combo);
            QCOMPARE(QStringList({row.name, Shown(combo)}), QStringList({row.name, row.shown}));
        }
    }

    // Image entries stay below the volumes across a re-read, the add entry last; choosing it asks
    // for an image and leaves the selection (@) where it was.
    void comboKeepsImageEntries() {
        QString listed = "/ /media/a";
        DriveCombo combo(nullptr, [&] { return Mounts(listed); });
        QSignalSpy asked(&combo, &DriveCombo::AddImageChosen);
        combo.setCurrentIndex(1);
        combo.SetImageEntries({"x.img [NTFS]"}, "Add disk image...", -1);
        QCOMPARE(Shown(combo), "/,@/media/a,x.img [NTFS],Add disk image... image -1 /media/a");
        QTest::keyClick(&combo, Qt::Key_End);
        QCOMPARE(Shown(combo) + QString(" asked %1").arg(asked.count()),
                 "/,@/media/a,x.img [NTFS],Add disk image... image -1 /media/a asked 1");
        combo.SetImageEntries({"x.img [NTFS]", "y.img [NTFS]"}, "Add disk image...", 1);
        listed = "/media/b /";
        Reread(combo);
        QCOMPARE(Shown(combo), "/media/b,/,x.img [NTFS],@y.img [NTFS],Add disk image... image 1 ");
    }

    // "Add disk image..." with the chooser answered: the image's entry, selected, and a profile
    // scan of it from START.
    void scanOfAnAddedDiskImage() {
#ifdef SNAPSIFT_IMAGES
        if (const std::string why = WhyNoNtfsVolumes(); !why.empty()) QSKIP(why.c_str());
        QTemporaryDir dir;
        const QString image = dir.filePath("case.img");
        QVERIFY(QDir(dir.path()).mkpath("m") && QDir(dir.path()).mkpath("out"));
        const std::string photo = "Users/ana/AppData/Local/Microsoft/Windows/INetCache/IE/AB12CD34/n1234567_890_123[1].jpg";
        QVERIFY(MakeNtfsVolume(image.toStdString(), 8, {{photo, "\xFF\xD8\xFF\xE0 photo"}}, dir.filePath("m").toStdString()));
        auto* drives = form_->findChild<DriveCombo*>("DriveList");
        drives->SetSource([] { return Mounts("/"); });
        services_.file = image.toStdString();
        QTest::keyClick(drives, Qt::Key_End);
        QTRY_COMPARE(drives->currentText(), "case.img [NTFS]");
        QCOMPARE(services_.fileChoosers, QStringList("Choose a disk image: Disk images (*.dd *.raw *.img *.001 *.E01 "
                                                     "*.e01);;All files (*) at "));
        QCOMPARE(drives->count(), 3);
        state_.OutputFolder = dir.filePath("out/").toStdString();
        Click("StartButton");
        QCOMPARE(services_.messages, QStringList("Operation complete.\n\nTotal files found: 1"));
        const QStringList runs = QDir(dir.filePath("out")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QFile report(dir.filePath("out/" + runs.value(0) + "/Quorvia JPG Files.htm"));
        QVERIFY(runs.size() == 1 && report.open(QIODevice::ReadOnly));
        const QByteArray text = report.readAll();
        QVERIFY(text.contains("<b>Disk image:</b> " + image.toUtf8() + " (8388608 bytes)<br>\r\n"));
        QVERIFY(text.contains("<b>Full path:</b> case.img: \\" + QByteArray::fromStdString(photo).replace('/', '\\') + "<br>"));
#else
        QSKIP("built without disk images");
#endif
    }

    // Per turn at the clock's reading: "F" when a readable pipe's notifier and a due timer woke,
    // "-" when neither did. Every turn runs the call posted before it ("!" when not).
    void fullTurns() {
        const struct { const char* name; QList<qint64> clock; QString full; } rows[] = {
            {"within the first interval", {0, 1, 1'000'000, 1'999'999}, "F---"},
            {"one interval apart", {0, 2'000'000, 4'000'000}, "FFF"},
            {"counted from the last full turn", {0, 1'500'000, 2'500'000, 4'000'000, 4'500'000}, "F-F-F"},
            {"clock went back", {7'000'000, 6'999'999, 7'000'000, 1}, "FF-F"}};
        int fds[2], wakes = 0, timeouts = 0, calls = 0;
        QObject receiver;  // the calls still posted at the end go with it
        QCOMPARE(pipe(fds), 0);
        const auto closePipe = qScopeGuard([&] { for (const int fd : fds) close(fd); });
        QCOMPARE(write(fds[1], "x", 1), 1);
        QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
        QTimer due;
        connect(&notifier, &QSocketNotifier::activated, this, [&] { ++wakes; });
        connect(&due, &QTimer::timeout, this, [&] { ++timeouts; });
        due.start(0);
        for (const auto& row : rows) {
            PacedEventTurn turn;
            QString got;
            for (const qint64 now : row.clock) {
                wakes = timeouts = calls = 0;
                QMetaObject::invokeMethod(&receiver, [&] { ++calls; }, Qt::QueuedConnection);
                turn.Turn(now);
                got += calls != 1 ? u'!' : wakes && timeouts ? u'F' : wakes || timeouts ? u'?' : u'-';
            }
            QCOMPARE(QStringList({row.name, got}), QStringList({row.name, row.full}));
        }
    }

    // A turn without the full poll runs a handler that asks Yes or No: the box's own loop waits
    // for input as usual, and the click its timer makes ends it.
    void messageBoxInsideTurn() {
        PacedEventTurn turn;
        turn.Turn(0);
        int answer = 0;
        const auto ask = [&] {
            QMessageBox box(QMessageBox::NoIcon, "Snapsift", "Cancel?", QMessageBox::Yes | QMessageBox::No);
            QTimer::singleShot(20, &box, [&box] { box.button(QMessageBox::Yes)->click(); });
            answer = box.exec();
        };
        QMetaObject::invokeMethod(this, ask, Qt::QueuedConnection);
        turn.Turn(1);
        QCOMPARE(answer, int(QMessageBox::Yes));
    }
};

}  // namespace snapsift

QTEST_MAIN(snapsift::QtWindowTest)
#include "QtWindowTest.moc"
