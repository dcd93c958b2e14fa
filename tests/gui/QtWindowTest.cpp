// The Qt side of the window under the offscreen platform, once on each event dispatcher: the main
// window as drawn and as it reaches the logic, its About box, the drive list and its combo box
// with its disk image entries, and the paced event loop turn a scan takes per file.
#include <QSignalSpy>
#include <QTest>
#include <QtWidgets>
#include <unistd.h>

#include "qt/DriveCombo.h"
#include "qt/WindowMetrics.h"
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
QRect FromTwips(const TwipsRect& r) { return FromTwips(r.left, r.top, r.width, r.height); }

QString TextOf(const QWidget* c) { return c->property("text").toString() + c->property("plainText").toString(); }

// Acts with f on the first modal D that comes up, from the event loop.
template <typename D> void WhenModal(std::function<void(D*)> f) {
    QTimer::singleShot(10, [f] { auto d = qobject_cast<D*>(qApp->activeModalWidget()); d ? f(d) : WhenModal(f); });
}

// Entries typed "ext4" for the mount points in `roots`, separated by spaces.
std::vector<DriveEntry> Mounts(const QString& roots) {
    std::vector<DriveEntry> drives;
    for (const QString& root : roots.split(u' ', Qt::SkipEmptyParts)) drives.push_back(MountEntry(root.toStdString(), "", "ext4"));
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

    // Each control of both windows as its design row has it: text, place (a rule keeps its drawn
    // thickness), frame, font (a fitted label's no larger, nor below 70 %), colour, first look,
    // check state; then one turn of the focus chain in the designed tab order.
    void asDesigned() {
        Trigger("AboutItem");
        const std::pair<const WindowDesign*, QWidget*> windows[] = {{&MainWindowDesign(), form_.get()},
                                                                   {&AboutBoxDesign(), form_->About()}};
        for (const auto& [design, window] : windows) {
            std::vector<QWidget*> made;
            for (const ControlDesign& row : design->controls) {
                QWidget* c = window->findChild<QWidget*>(QString::fromStdString(row.name));
                QVERIFY2(c, row.name.c_str());
                made.push_back(c);
                QRect place = FromTwips(row.place);
                if (row.kind == ControlKind::Rule || row.kind == ControlKind::EtchedRule)
                    place.setHeight(row.kind == ControlKind::Rule ? 1 : 2);
                const QString text = &row == &Design(snapsift::Control::TitleLabel) ? QString::fromStdString(TitleText())
                                                                          : QString::fromStdString(row.text);
                const double points = c->font().pointSizeF(), designed = row.font.centipoints / 100.0;
                const QColor colour = row.darkBlue ? QColor(0, 0, 128) : window->palette().color(QPalette::WindowText);
                QVERIFY2(TextOf(c) == text && c->geometry() == place && c->isEnabled() &&
                         c->parentWidget() == (row.inside < 0 ? c->parentWidget() : made[row.inside]) &&
                         c->isVisibleTo(c->parentWidget()) == row.visible && c->property("checked").toBool() == row.checked &&
                         c->font().bold() == row.font.bold && c->font().family() == DesignedFont(row.font).family() &&
                         (FitsText(row.kind) ? points <= designed && points >= designed * 0.7 : points == designed) &&
                         c->palette().color(QPalette::WindowText) == colour, row.name.c_str());
            }
            QStringList tabOrder, chain;
            for (const int i : design->tabOrder) tabOrder << made[i]->objectName();
            QWidget* w = made[design->tabOrder[0]];
            do if (tabOrder.contains(w->objectName()) && (w->focusPolicy() & Qt::TabFocus)) chain << w->objectName();
            while ((w = w->nextInFocusChain()) != made[design->tabOrder[0]]);
            QCOMPARE(chain, tabOrder);
            QVERIFY(window->windowTitle() == design->caption.c_str() && window->minimumSize() == window->maximumSize());
        }
        QCOMPARE(form_->centralWidget()->size(), FromTwips(0, 0, 6990, 4770).size());
        QCOMPARE(form_->About()->size(), FromTwips(0, 0, 5730, 3825).size());
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

    // Modeless and made once; both links open the maker's page; it outlives the main window and
    // closes with Esc or Enter.
    void aboutBox() {
        Trigger("AboutItem");
        AboutBox* about = form_->About();
        QVERIFY(about && about->isVisible() && !about->isModal());
        Trigger("AboutItem");
        QCOMPARE(form_->About(), about);
        for (const char* label : {"Copyright", "Address", "Description"})
            QTest::mouseClick(about->findChild<QWidget*>(label), Qt::LeftButton);
        QCOMPARE(services_.urls, std::vector<QUrl>(2, QUrl("https://snapsift.example.org")));
        Trigger("ExitItem");
        QVERIFY(!form_->isVisible() && about->isVisible());
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
            QTest::keyClick(form_->About()->findChild<QWidget*>("Description"), key);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY2(!form_->About(), "still open");
            Trigger("AboutItem");
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
