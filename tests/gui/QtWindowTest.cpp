// The Qt side of the window under the offscreen platform, once on each event dispatcher: the main
// window and its About box as designed, each widget reaching its handler in the window logic and
// each view call its widget, what only the view does (the real boxes and chooser, keeping on the
// screen, the drive list's re-read), and the two kinds of event loop turn a scan takes per file.
#include <QTest>
#include <QtWidgets>
#include <unistd.h>

#include "qt/DriveCombo.h"
#include "qt/WindowMetrics.h"
#include "qt/QtMainWindow.h"
#include "qt/PacedEventTurn.h"
#include "qt/WindowServices.h"
#include "qt/AboutBox.h"

namespace snapsift {

// What the window asked of the desktop, in order: each box's text to its first 36 characters
// (" [CR]" when a CR reached it), the folder chooser's start (always cancelled), the file
// chooser's title, filter and start (answered ""), the pages opened; questions are answered `yes`.
struct FakeServices : WindowServices {
    QStringList seen;
    bool yes = false;
    static QString Box(const QString& text) { return text.left(36) + (text.contains(u'\r') ? " [CR]" : ""); }
    std::string BrowseFolder(std::string_view, const std::string& at, QWidget*) override {
        seen << "browse at " + QString::fromStdString(at);
        return "";
    }
    std::string ChooseFile(QWidget*, const QString& title, const QString& filter, const std::string& at) override {
        seen << "choose " + title + " " + filter + " at " + at.c_str();
        return "";
    }
    void ShowMessage(QWidget*, const QString& text) override { seen << "message " + Box(text); }
    bool AskYesNo(QWidget*, const QString& text) override { return seen << "question " + Box(text), yes; }
    bool OpenUrl(const QUrl& url) override {
        seen << "open " + url.toString();
        return true;
    }
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

// The combo's entries, the selected one marked "@", then its selected image and prefix.
QString Shown(const DriveCombo& combo) {
    QStringList items;
    for (int i = 0; i < combo.count(); ++i) items << (i == combo.currentIndex() ? "@" : "") + combo.itemText(i);
    return items.join(u',').remove(" [ext4]") + QString(" image %1 ").arg(combo.SelectedImage()) +
           combo.SelectedPrefix().c_str();
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
        QVERIFY(form_->About());
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
                const QString text = QString::fromStdString(&row == &Design(snapsift::Control::TitleLabel) ? TitleText() : row.text);
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
            box->buttons().value(0)->click();
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

    // Each button, key and menu item reaches its own handler, each on a new window, idle or in
    // the running look: what it asked of the desktop, the abort asked for, the window's mode, or
    // "closed"; and each About box open (one at a time, modeless), whose links, not its
    // description, open the maker's page.
    void widgetsReachTheLogic() {
        const auto key = [this](const char* name, Qt::Key key) { Control(name)->setFocus(), QTest::keyClick(Control(name), key); };
        const auto browse = [this](std::string ScanState::*folder, const char* button) { state_.*folder = "/f/", Click(button); };
        const auto about = [this](Qt::Key key) { Trigger("AboutItem"), QTest::keyClick(form_->About()->findChild<QWidget*>("Description"), key); };
        const auto links = [this] { for (const char* label : {"Copyright", "Address", "Description"}) QTest::mouseClick(form_->About()->findChild<QWidget*>(label), Qt::LeftButton); };
        const QString help = "message If \"Only Search User Profile Folders";
        const struct { const char* why; bool running, yes; std::function<void()> act; QString seen; } rows[] = {
            {"HelpButton", false, false, [&] { Click("HelpButton"); }, help + " | drives"},
            {"Return on the focused button", false, false, [&] { key("HelpButton", Qt::Key_Return); }, help + " | drives"},
            {"StartButton", false, false, [&] { Click("StartButton"); }, "message Please choose an output folder. | drives"},
            {"OutputBrowseButton", false, false, [&] { browse(&ScanState::OutputFolder, "OutputBrowseButton"); }, "browse at /f/ | drives"},
            {"SourceBrowseButton", false, false, [&] { Click("ProfileFoldersOnly"), browse(&ScanState::SourceFolder, "SourceBrowseButton"); },
             "browse at /f/ | folder"},
            {"AbortButton, Yes", true, true, [&] { Click("AbortButton"); }, "question Are you sure you want to cancel this | abort drives"},
            {"AbortButton, No", true, false, [&] { Click("AbortButton"); }, "question Are you sure you want to cancel this | drives"},
            {"ProfileFoldersOnly", false, false, [&] { Click("ProfileFoldersOnly"); }, " | folder"},
            {"File > Exit", false, false, [&] { Trigger("ExitItem"); }, " | closed"},
            {"Help > About..., then Exit", false, false, [&] { Trigger("AboutItem"), Trigger("ExitItem"); }, " | closed about"},
            {"the close box", false, false, [&] { form_->close(); }, " | closed"},
            {"the close box while running", true, false, [&] { form_->close(); }, " | drives"},
            {"Esc in the About box", false, false, [&] { about(Qt::Key_Escape); }, " | drives"},
            {"Return in the About box", false, false, [&] { about(Qt::Key_Return); }, " | drives"},
            {"Help > About... twice, its labels", false, false, [&] { Trigger("AboutItem"), Trigger("AboutItem"), links(); },
             "open https://snapsift.example.org, open https://snapsift.example.org | drives about"}};
        for (const auto& row : rows) {
            NewForm(services_);
            services_.yes = row.yes;
            if (row.running) form_->Logic().SetRunningLook(true);
            row.act();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QString seen = services_.seen.join(", ") + " | " + (state_.AbortRequested ? "abort " : "");
            seen += !form_->isVisible() ? "closed" : Control("DriveList")->isVisible() ? "drives"
                  : Control("SourceFolderBox")->isVisible() ? "folder" : "neither";
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<AboutBox*>(w)) seen += QString(w->isVisible() ? " about" : " about hidden") + (w->isModal() ? " modal" : "");
            QCOMPARE(QStringList({row.why, seen}), QStringList({row.why, row.seen}));
            form_->Logic().SetRunningLook(false);
        }
    }

    // The drive list through the view: opening it reads it again, the selected volume (@) kept
    // wherever it now is; the image entries below the volumes and the add entry last; choosing
    // that entry opens the disk image chooser and keeps the selection; a selected image entry
    // stays selected across a re-read.
    void driveList() {
        QString listed = "/ /media/a";
        auto* combo = form_->findChild<DriveCombo*>("DriveList");
        combo->SetSource([&] {
            std::vector<DriveEntry> drives;
            for (const QString& root : listed.split(u' ')) drives.push_back(MountEntry(root.toStdString(), "", "ext4"));
            return drives;
        });
        const auto reread = [combo] { combo->showPopup(), combo->hidePopup(); };  // as opening the list does
        combo->setCurrentIndex(1);
        form_->SetImageEntries({"x.img [NTFS]"}, "Add disk image...", -1);
        listed = "/media/b / /media/a";
        reread();
        QCOMPARE(Shown(*combo), "/media/b,/,@/media/a,x.img [NTFS],Add disk image... image -1 /media/a");
        QCOMPARE(form_->Logic().SelectedDriveRoot(), "/media/a");
        QTest::keyClick(combo, Qt::Key_End);
        QTRY_COMPARE(services_.seen, QStringList("choose Choose a disk image: Disk images (*.dd *.raw *.img *.001 *.E01 "
                                                 "*.e01);;All files (*) at "));
        QCOMPARE(Shown(*combo), "/media/b,/,@/media/a,x.img [NTFS],Add disk image... image -1 /media/a");
        form_->SetImageEntries({"x.img [NTFS]", "y.img [NTFS]"}, "Add disk image...", 1);
        listed = "/ /media/a";
        reread();
        QCOMPARE(Shown(*combo) + QString::number(form_->SelectedImageEntry()),
                 "/,/media/a,x.img [NTFS],@y.img [NTFS],Add disk image... image 1 1");
    }

    // A due turn serves the timers and the sockets ("F"), a paced one neither ("-"); every turn
    // runs the call posted before it ("!" when not), and a box that call opens in a paced turn
    // waits for its input as usual.
    void fullAndPacedTurns() {
        int fds[2], wakes = 0, timeouts = 0, calls = 0, answer = 0;
        QObject receiver;  // the calls still posted at the end go with it
        QCOMPARE(pipe(fds), 0);
        const auto closePipe = qScopeGuard([&] { for (const int fd : fds) close(fd); });
        QCOMPARE(write(fds[1], "x", 1), 1);
        QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
        QTimer due;
        connect(&notifier, &QSocketNotifier::activated, this, [&] { ++wakes; });
        connect(&due, &QTimer::timeout, this, [&] { ++timeouts; });
        due.start(0);
        PacedEventTurn turn;
        QString got;
        for (const qint64 now : {0, 1, 2'000'000, 2'000'001}) {
            wakes = timeouts = calls = 0;
            QMetaObject::invokeMethod(&receiver, [&] { ++calls; }, Qt::QueuedConnection);
            turn.Turn(now);
            got += calls != 1 ? u'!' : wakes && timeouts ? u'F' : wakes || timeouts ? u'?' : u'-';
        }
        QCOMPARE(got, "F-F-");
        QMetaObject::invokeMethod(&receiver, [&] {
            QMessageBox box(QMessageBox::NoIcon, "Snapsift", "Cancel?", QMessageBox::Yes | QMessageBox::No);
            QTimer::singleShot(20, &box, [&box] { box.button(QMessageBox::Yes)->click(); });
            answer = box.exec();
        }, Qt::QueuedConnection);
        turn.Turn(2'000'002);
        QCOMPARE(answer, int(QMessageBox::Yes));
    }
};

}  // namespace snapsift

QTEST_MAIN(snapsift::QtWindowTest)
#include "QtWindowTest.moc"
