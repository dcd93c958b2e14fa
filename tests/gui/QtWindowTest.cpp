// The Qt side of the window under the offscreen platform, once on each event dispatcher: the main
// window and its About box as designed, the view contract's table (what the window shows for each
// act, a stalled scan's included), the keys and menus reaching their handlers, what only the view
// does (the real boxes and chooser, keeping on the screen, the drive list's re-read) and a scan of
// real files run from START.
#include <QTest>
#include <QtWidgets>

#include "qt/DriveCombo.h"
#include "qt/DriveList.h"
#include "qt/WindowMetrics.h"
#include "qt/QtMainWindow.h"
#include "qt/WindowServices.h"
#include "qt/AboutBox.h"
#include "window/ViewContract.h"
#ifdef SNAPSIFT_IMAGES
#include "support/NtfsImages.h"
#endif

namespace snapsift {

// The desktop as the window sees it: each box and chooser as the view contract names them (a box
// with "[CR]" when a CR reached it), questions answered `yes`, the folder chooser cancelled; and
// in `seen` the file chooser's title, filter and start (answered "") and the pages opened.
struct FakeServices : WindowServices {
    QStringList seen;
    std::vector<std::string> boxes;
    bool yes = false;
    std::string file;  // the file chooser's answer
    void Box(const QString& text, bool question, bool noPreselected) {
        boxes.push_back(test::BoxText(text.toStdString(), question, noPreselected) + (text.contains(u'\r') ? "[CR]" : ""));
    }
    std::string BrowseFolder(std::string_view title, const std::string&, QWidget*) override {
        return boxes.push_back("browse " + std::string(title)), "";
    }
    std::string ChooseFile(QWidget*, const QString& title, const QString& filter, const std::string& at) override {
        return boxes.push_back("browse " + title.toStdString()), seen << "choose " + title + " " + filter + " at " + at.c_str(), file;
    }
    void ShowMessage(QWidget*, const QString& text) override { Box(text, false, false); }
    bool AskYesNo(QWidget*, const QString& text, bool noPreselected) override { return Box(text, true, noPreselected), yes; }
    bool OpenUrl(const QUrl& url) override { return seen << "open " + url.toString(), true; }
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

class QtWindowTest : public QObject, public test::ContractWindow {
    Q_OBJECT

    ScanState state_;
    FakeServices services_;
    SystemWindowServices system_;
    std::unique_ptr<QtMainWindow> form_;

    QWidget* Control(const char* name) const { return form_->findChild<QWidget*>(name); }
    void Click(const char* name) { QTest::mouseClick(Control(name), Qt::LeftButton); }
    void Trigger(const char* name) { form_->findChild<QAction*>(name)->trigger(); }
    QWidget* Control(snapsift::Control c) const { return Control(std::string(ControlName(c)).c_str()); }

public:
    // ContractWindow.
    MainWindowLogic& Logic() override { return form_->Logic(); }
    ScanState& State() override { return state_; }
    void Click(snapsift::Control c) override {
        if (Control(c)->isVisible() && Control(c)->isEnabled()) QTest::mouseClick(Control(c), Qt::LeftButton);
    }
    void Choose(MenuCommand command) override {
        Trigger(ItemName(command));
    }
    void CloseBox() override { form_->close(); }
    void Press(std::string_view keys) override {
        const auto letter = [](char c) { return Qt::Key(Qt::Key_A + (c - 'A')); };
        if (keys.starts_with("Alt+")) {
            QTest::keyClick(form_.get(), letter(keys[4]), Qt::AltModifier);
            if (QMenu* open = qobject_cast<QMenu*>(QApplication::activePopupWidget())) QTest::keyClick(open, letter(keys[6]));
            return;
        }
        QWidget* about = AboutShown() ? form_->About()->findChild<QWidget*>("Description") : nullptr;
        QTest::keyClick(about ? about : form_->focusWidget(), keys == "Enter" ? Qt::Key_Return : Qt::Key_Escape);
    }
    void Answer(bool yes) override { services_.yes = yes; }
    std::vector<std::string> Boxes() override { return std::exchange(services_.boxes, {}); }
    bool Shown(snapsift::Control c) override { return Control(c)->isVisibleTo(form_.get()); }
    bool Enabled(snapsift::Control c) override { return Control(c)->isEnabled(); }
    std::string Text(snapsift::Control c) override { return TextOf(Control(c)).toStdString(); }
    std::string Caption() override { return form_->windowTitle().toStdString(); }
    std::string Focused() override {
        const QWidget* focus = form_->focusWidget();
        return focus != nullptr && focus->parentWidget() == form_->centralWidget() ? focus->objectName().toStdString() : "none";
    }
    bool MenuEnabled(MenuCommand command) override { return form_->findChild<QAction*>(ItemName(command))->isEnabled(); }
    static const char* ItemName(MenuCommand command) {
        switch (command) {
            case MenuCommand::Exit: return "ExitItem";
            case MenuCommand::About: return "AboutItem";
            case MenuCommand::OpenLastReport: return "OpenLastReportItem";
            case MenuCommand::OpenLastSummary: return "OpenLastSummaryItem";
        }
        return "";
    }
    bool AboutShown() override { return form_->About() != nullptr && form_->About()->isVisible(); }
    bool Closed() override { return !form_->isVisible(); }
    std::string Opened() override {
        return services_.seen.empty() ? "" : QUrl(services_.seen.last().mid(5)).toLocalFile().toStdString();
    }
    int ClientTwips() override { return form_->centralWidget()->height() * 15; }
    bool RunUntil(const std::function<bool()>& done) override { return QTest::qWaitFor(done, 10'000); }

    void NewForm(WindowServices& services) {
        form_.reset();  // before what it refers to
        state_ = {};
        services_ = {};
        form_ = std::make_unique<QtMainWindow>(state_, services);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        form_->activateWindow();  // as the desktop does with a new window
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    }

private slots:
    void initTestCase() {
        qInfo() << "dispatcher:" << QAbstractEventDispatcher::instance()->metaObject()->className();
        QApplication::setAttribute(Qt::AA_Use96Dpi);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void init() { NewForm(services_); }

    // Each control of both windows as its design row has it: text, place, frame, font (a fitted
    // label's no larger, nor below 70 %), colour, first look, check state, a name for screen
    // readers that no other control of its window has; then one turn of the focus chain in the
    // designed tab order.
    void asDesigned() {
        Trigger("AboutItem");
        QVERIFY(form_->About());
        const std::pair<const WindowDesign*, QWidget*> windows[] = {{&MainWindowDesign(), form_.get()},
                                                                   {&AboutBoxDesign(), form_->About()}};
        for (const auto& [design, window] : windows) {
            std::vector<QWidget*> made;
            QSet<QString> names;
            for (const ControlDesign& row : design->controls) {
                QWidget* c = window->findChild<QWidget*>(QString::fromStdString(row.name));
                QVERIFY2(c, row.name.c_str());
                made.push_back(c);
                const QString text = QString::fromStdString(&row == &Design(snapsift::Control::TitleLabel) ? TitleText() : row.text);
                const double points = c->font().pointSizeF(), designed = row.font.centipoints / 100.0;
                const QColor colour = row.darkBlue ? QColor(0, 0, 128) : window->palette().color(QPalette::WindowText);
                QVERIFY2(TextOf(c) == text && c->geometry() == FromTwips(row.place) && c->isEnabled() &&
                         c->parentWidget() == (row.inside < 0 ? c->parentWidget() : made[row.inside]) &&
                         c->isVisibleTo(c->parentWidget()) == row.visible && c->property("checked").toBool() == row.checked &&
                         c->font().bold() == row.font.bold && c->font().family() == DesignedFont(row.font).family() &&
                         (FitsText(row.kind) ? points <= designed && points >= designed * 0.7 : points == designed) &&
                         c->palette().color(QPalette::WindowText) == colour, row.name.c_str());
                QVERIFY2(!c->accessibleName().isEmpty() && !names.contains(c->accessibleName()), row.name.c_str());
                names.insert(c->accessibleName());
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

    // The dark blue labels are navy on a light window; on a dark one, where navy cannot be read,
    // they take the palette's own text colour, and navy again once a light palette is back.
    void darkBlueFollowsThePalette() {
        const QPalette light = QApplication::palette();
        QPalette dark = light;
        dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20)), dark.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
        const auto restore = qScopeGuard([&] { QApplication::setPalette(light); });
        for (const auto& [palette, text] : {std::pair{dark, QColor(0xf0, 0xf0, 0xf0)}, {light, QColor(0, 0, 128)}}) {
            QApplication::setPalette(palette);
            QCoreApplication::processEvents();  // the change reaches the windows from the event loop
            for (const ControlDesign& row : MainWindowDesign().controls)
                QVERIFY2(!row.darkBlue || Control(row.name.c_str())->palette().color(QPalette::WindowText) == text, row.name.c_str());
        }
    }

    // Help > About... twice shows one About box, modeless. Its links follow OK in the focus chain;
    // Enter, Space, a click and a screen reader's press (they are told it is a link) open the
    // maker's page, a click on the description does not, and the box stays open.
    void aboutBox() {
        Trigger("AboutItem"), Trigger("AboutItem");
        AboutBox* about = form_->About();
        QVERIFY(QTest::qWaitForWindowActive(about));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList got;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<AboutBox*>(w)) got << QString(w->isVisible() ? "about" : "about hidden") + (w->isModal() ? " modal" : "");
        const auto seen = [&](const QString& what) { got << what + ": " + services_.seen.join(", "), services_.seen.clear(); };
        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Tab, Qt::Key_Space, Qt::Key_Tab}) {
            QTest::keyClick(QApplication::focusWidget(), key);
            seen(QApplication::focusWidget()->objectName());
        }
        for (const QString name : {"Copyright", "Address", "Description"}) {
            QWidget* label = about->findChild<QWidget*>(name);
            QTest::mouseClick(label, Qt::LeftButton);
            QAccessibleInterface* link = QAccessible::queryAccessibleInterface(label);
            if (link->role() == QAccessible::Link && link->actionInterface())
                link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            seen(name + (link->role() == QAccessible::Link ? " link" : ""));
        }
        const QString opened = "open https://snapsift.example.org";
        QCOMPARE(got, QStringList({"about", "Copyright: ", "Copyright: " + opened, "Address: ", "Address: " + opened, "OkButton: ",
                                   "Copyright link: " + opened + ", " + opened, "Address link: " + opened + ", " + opened,
                                   "Description: "}));
        QVERIFY(about->isVisible());
    }

    // What the window shows for each act, idle and during a scan that stalls, as every toolkit's
    // window must.
    void viewContract() {
        for (const test::ContractRow& row : test::ContractRows()) {
            NewForm(services_);
            QTemporaryDir output;
            const std::string seen = test::RunContractRow(*this, row, output.path().toStdString() + "/");
            QCOMPARE(QStringList({row.why, QString::fromStdString(seen)}), QStringList({row.why, QString::fromStdString(row.shown)}));
        }
    }

    // The running look's extra 1500 twips never push the window below the screen's work area.
    void grownWindowStaysOnTheScreen() {
        const QRect available = form_->screen()->availableGeometry(), frame = form_->frameGeometry();
        const int bottom = available.bottom() + 1, grown = frame.height() + FromTwips(0, 0, 0, 1500).height();
        // With room below, and at the bottom.
        for (const auto& [top, grownTop] : {std::pair{available.top(), available.top()}, {bottom - frame.height(), bottom - grown}}) {
            form_->SetClientHeight(4770), form_->move(40, top), form_->SetClientHeight(6270);
            QCOMPARE(form_->frameGeometry(), QRect(40, grownTop, frame.width(), grown));
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
        QVERIFY(QTest::qWaitFor([this] { return !form_->Logic().Running(); }, 10'000));
        state_.outputFolder = QDir::tempPath().toStdString() + "/";
        WhenModal<QFileDialog>([&](QFileDialog* d) {
            seen << d->windowTitle() << d->directory().path();
            d->setDirectory(QDir::root());
            d->QDialog::accept();
        });
        Click("OutputBrowseButton");
        QCOMPARE(seen, QStringList({"Snapsift", "Please choose an output folder.", "0", "OK",
                                    "Choose where the run folder goes:", QDir::tempPath()}));
        QCOMPARE(TextOf(Control("OutputFolderBox")), "/");
    }

    // The drive list through the view, step by step. Opening it reads it again: until a volume is
    // picked, the first holding profile folders ("*") is selected, one mounted since the last read
    // too; the volume picked stays, wherever it now is, and so does an image entry. The image
    // entries come below the volumes, the add entry last: choosing it (Enter, or in the open list)
    // opens the disk image chooser and keeps the selection, while stepping onto it with the list
    // closed only shows it.
    void driveList() {
        QString listed = "/ /media/a";
        auto* combo = form_->findChild<DriveCombo*>("DriveList");
        combo->SetSource([&] {
            std::vector<DriveEntry> drives;
            for (const QString& root : listed.split(u' ')) {
                drives.push_back(MountEntry(QString(root).remove(u'*').toStdString(), "", "ext4"));
                drives.back().holdsProfiles = root.endsWith(u'*');
            }
            return drives;
        });
        form_->SetImageEntries({"x.img [NTFS]"}, "Add disk image...", -1);
        const auto reread = [combo] { combo->showPopup(), combo->hidePopup(); };  // as opening the list does
        const auto keys = [combo](std::initializer_list<Qt::Key> list) { for (const Qt::Key key : list) QTest::keyClick(combo, key); };
        const QString chooser = "choose Choose a disk image: Disk images (*.dd *.raw *.img *.001 *.E01 *.e01);;All files (*) at ";
        const QString images = "x.img [NTFS],Add disk image... image ", four = "/media/q,/media/b,/,/media/a,";
        const struct { const char* why; QString listed; std::function<void()> act; QString shown; } rows[] = {
            {"none holds profiles", "/ /media/a", reread, "@/,/media/a," + images + "-1 "},
            {"one mounted since", "/media/p* / /media/a", reread, "@/media/p,/,/media/a," + images + "-1 /media/p"},
            {"the user picks one", "", [&] { keys({Qt::Key_Down, Qt::Key_Down}); }, "/media/p,/,@/media/a," + images + "-1 /media/a"},
            {"another mounted since", "/media/q* /media/b / /media/a", reread, "/media/q,/media/b,/,@/media/a," + images + "-1 /media/a"},
            {"End onto the add entry, the list closed", "", [&] { keys({Qt::Key_End}); }, four + "x.img [NTFS],@Add disk image... image -1 /media/a"},
            {"then Enter", "", [&] { keys({Qt::Key_Return}); }, "/media/q,/media/b,/,@/media/a," + images + "-1 /media/a chooser"},
            {"End, then Up", "", [&] { keys({Qt::Key_End, Qt::Key_Up}); }, four + "@" + images + "0 "},
            {"End, then the focus elsewhere", "", [&] { keys({Qt::Key_End}), Control("StartButton")->setFocus(); }, four + "@" + images + "0 "},
            {"chosen in the open list", "", [&] {
                 combo->showPopup();
                 combo->view()->setCurrentIndex(combo->model()->index(combo->count() - 1, 0));
                 QTest::keyClick(combo->view(), Qt::Key_Return);
             }, four + "@" + images + "0  chooser"},
            {"an image entry selected, re-read", "/ /media/a", [&] { form_->SetImageEntries({"x.img [NTFS]", "y.img [NTFS]"}, "Add disk image...", 1), reread(); },
             "/,/media/a,x.img [NTFS],@y.img [NTFS],Add disk image... image 1 "}};
        for (const auto& row : rows) {
            form_->activateWindow();  // from the popup
            QVERIFY(QTest::qWaitForWindowActive(form_.get()));
            combo->setFocus();
            services_.seen.clear();
            if (!row.listed.isEmpty()) listed = row.listed;
            row.act();
            QCoreApplication::processEvents();
            // The entries, the selected one marked "@", then the image entry and the prefix the window takes.
            QStringList items;
            for (int i = 0; i < combo->count(); ++i) items << (i == combo->currentIndex() ? "@" : "") + combo->itemText(i);
            const QString seen = items.join(u',').remove(" [ext4]") + QString(" image %1 ").arg(form_->SelectedImageEntry()) +
                                 form_->SelectedDrivePrefix().c_str() + (services_.seen.join("") == chooser ? " chooser" : "");
            QCOMPARE(QStringList({row.why, seen}), QStringList({row.why, row.shown}));
        }
    }

#ifdef SNAPSIFT_IMAGES
    // An NTFS image mounted read-only with ntfs-3g, a FUSE mount whose device is the image file,
    // is among the volumes on offer, as one holding profile folders. Added as a disk image, its
    // entry shows "Also search unallocated space" while the user keeps it selected, off until clicked.
    void driveListOffersAnImageMount() {
        if (const std::string why = test::WhyNoNtfsVolumes(); !why.empty()) QSKIP(why.c_str());
        QTemporaryDir work;
        const std::string image = work.filePath("case.img").toStdString(), mount = work.filePath("mnt").toStdString();
        QVERIFY(QDir(work.path()).mkdir("mnt"));
        QVERIFY(test::MakeNtfsVolume(image, 8, {{"Users/ana/notes.txt", "x"}}, mount));
        QVERIFY(test::MountNtfs(image, mount, true));
        const auto unmount = qScopeGuard([&] { test::Unmount(mount); });
        QStringList listed, holding;
        for (const DriveEntry& drive : ListDrives()) {
            listed << QString::fromStdString(drive.rootPath + (drive.holdsProfiles ? "*" : ""));
            if (drive.holdsProfiles) holding << QString::fromStdString(drive.prefix);
        }
        QVERIFY2(listed.contains(QString::fromStdString(mount + "*")), qPrintable(listed.join(' ')));
        // A new window's list starts on it, or on another volume holding profile folders.
        const QString selected = QString::fromStdString(DriveCombo().SelectedPrefix());
        QVERIFY2(holding.contains(selected), qPrintable(selected + " of " + listed.join(' ')));
        services_.file = image;
        form_->Logic().OnAddImageChosen();
        auto* combo = form_->findChild<DriveCombo*>("DriveList");
        // Its box, and whether a scan started now would read the unallocated space too.
        const auto look = [this] {
            const ImageSource* source = form_->Logic().Image();
            return QString(Control("SearchUnallocated")->isVisible() ? "box" : "none") +
                   (source != nullptr && !source->unallocated.empty() ? "+carve " : " ");
        };
        QString shown = look();
        for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Down}) QTest::keyClick(combo, key), shown += look();
        static_cast<QAbstractButton*>(Control("SearchUnallocated"))->click();
        QCOMPARE(shown + look(), "box none box box+carve ");
    }
#endif

};

}  // namespace snapsift

QTEST_MAIN(snapsift::QtWindowTest)
#include "QtWindowTest.moc"
