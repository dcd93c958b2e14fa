// The main window and its About box driven as a user drives them, under the offscreen platform:
// first look, modes, Browse, help, START's stops, a whole scan with closing refused and the About box, ABORT.
#include <QTest>
#include <QtWidgets>

#include "qt/frmAbout.h"
#include "qt/DriveList.h"
#include "qt/Form1.h"
#include "qt/WindowServices.h"
#include "qt/BrowseFolder.h"
#include "support/TempTree.h"

namespace snapsift {

namespace fs = std::filesystem;
constexpr char kJpeg[] = "\xFF\xD8\xFF\xE0 photo bytes";
const QString kTotal = QStringLiteral("Operation %1.\r\n\r\nTotal files found: %2");

// Scripted chooser and Yes/No answers ("" and No once they run out), and a log of what was shown.
struct FakeServices : WindowServices {
    QList<std::string> chosen;
    QList<bool> answers;
    std::function<void()> onMessage = [] {};
    QStringList messages, questions;
    std::vector<QUrl> urls;
    std::string BrowseFolder(std::string_view, QWidget*) override { return chosen.isEmpty() ? "" : chosen.takeFirst(); }
    void ShowMessage(QWidget*, const QString& text) override { messages << text; onMessage(); }
    bool AskYesNo(QWidget*, const QString& text) override { return answers.value((questions << text).size() - 1); }
    void OpenUrl(const QUrl& url) override { urls.push_back(url); }
};

// The main window with every path it was shown, and a hook inside every yield.
struct ObservedForm : Form1 {
    using Form1::Form1;
    std::vector<std::string> shown;
    std::function<void(std::size_t)> onYield = [](std::size_t) {};
    void ShowPath(const std::string& path) override { shown.push_back(path); Form1::ShowPath(path); }
    void Yield() override { Form1::Yield(); onYield(shown.size()); }
};

// Pixels of a rectangle in twips, each edge rounded on its own so that touching controls touch.
// The tests run at 96 dots per inch: 15 twips a pixel.
QRect FromTwips(const QRect& t) {
    const auto at = [](int x, int y) { return QPoint(qRound(x / 15.0), qRound(y / 15.0)); };
    return QRect(at(t.x(), t.y()), at(t.x() + t.width(), t.y() + t.height()) - QPoint(1, 1));
}

QString TextOf(const QWidget* c) { return c->property("text").toString() + c->property("plainText").toString(); }

// The report of the one run folder made in output, and how many photos were copied beside it.
std::pair<std::string, int> OnlyReport(const fs::path& output) {
    std::vector<fs::path> runs(fs::directory_iterator(output), fs::directory_iterator{});
    if (runs.size() != 1 || !runs[0].filename().string().starts_with("Snapsift - ")) return {"", -1};
    const int photos = std::ranges::count_if(fs::directory_iterator(runs[0]),
                                             [](auto& entry) { return entry.path().extension() == ".jpg"; });
    return {test::ReadBytes(runs[0] / "Quorvia JPG Files.htm"), photos};
}

// Acts with f on the first modal D that comes up, from the event loop.
template <typename D> void WhenModal(std::function<void(D*)> f) {
    QTimer::singleShot(10, [f] { auto d = qobject_cast<D*>(qApp->activeModalWidget()); d ? f(d) : WhenModal(f); });
}

class Form1Test : public QObject {
    Q_OBJECT

    std::unique_ptr<ScanState> state_;
    std::unique_ptr<FakeServices> services_;
    std::unique_ptr<ObservedForm> form_;
    SystemWindowServices system_;

    QWidget* Control(const char* name) const { return form_->findChild<QWidget*>(name); }
    bool Shown(const char* name) const { return Control(name)->isVisibleTo(form_.get()); }
    void Click(const char* name) { QTest::mouseClick(Control(name), Qt::LeftButton); }
    void Trigger(const char* name) { form_->findChild<QAction*>(name)->trigger(); }

    void NewForm(bool realServices = false) {
        form_.reset();  // before what it refers to
        state_ = std::make_unique<ScanState>(), services_ = std::make_unique<FakeServices>();
        form_ = std::make_unique<ObservedForm>(*state_, realServices ? system_ : (WindowServices&)*services_);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }

    // What differs from the idle or the running look, the client height included.
    QStringList LookFaults(bool running) const {
        QStringList faults;
        if (Shown("cmdSTART") == running || Shown("cmdABORT") != running || Shown("Frame1") != running)
            faults << "buttons";
        for (const char* name : {"chkPro", "chkSubs", "chkIncl", "cmdOut", "cmdSource", "Command1"})
            if (Control(name)->isEnabled() == running) faults << name;
        const int height = FromTwips({0, 0, 0, running ? 6270 : 4770}).height();
        return form_->centralWidget()->height() == height ? faults : faults << "client height";
    }

    // count recognised photos in source/, an empty out/, both chosen in folder mode.
    void ScanTree(test::TempTree& tree, int count) {
        for (int i = 0; i < count; ++i) tree.File("source/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kJpeg);
        tree.Folder("out");
        services_->chosen = {tree.Text("source") + "/", tree.Text("out") + "/"};
        for (const char* name : {"chkPro", "cmdSource", "cmdOut"}) Click(name);
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() { NewForm(); }

    void initialLook() {
        struct Row { const char* name; QString text; int x, y, width, height; };
        const Row rows[] = {
            {"Command1", "?", 6480, 1275, 375, 375}, {"Drive1", "", 480, 1800, 5055, 360},
            {"chkPro", "Only Search User Profile Folders On Selected Drive", 4200, 1200, 2175, 495},
            {"txtOut", "", 120, 3240, 5415, 375}, {"txtSource", "", 480, 1800, 5055, 375},
            {"chkIncl", "Include photos in report", 4680, 4155, 2055, 255}, {"Frame1", "", 0, 4680, 6975, 1575},
            {"cmdABORT", "ABORT", 2160, 3960, 2295, 615}, {"cmdSTART", "START", 2160, 3960, 2295, 615},
            {"lblFile", "", 120, 480, 6735, 975}, {"Label7", "Scanning:", 120, 160, 855, 255},
            {"cmdOut", "Browse", 5640, 3240, 1215, 375}, {"chkSubs", "Search subfolders", 2880, 1200, 1095, 495},
            {"cmdSource", "Browse", 5640, 1800, 1215, 375}, {"Label3", "Select a source:", 120, 1440, 1455, 255},
            {"Label4", "(an HTML report file called 'Quorvia JPG Files.htm' will be saved to this folder, "
                       "along with copies of all the located image files)", 2400, 2520, 3735, 735},
            {"Label5", "Select an output folder:", 120, 2880, 2175, 255},
            {"Label1", "Snapsift v1.2.0", 240, 75, 6495, 495},
            {"Label2", "Copyright (c) 2026 Snapsift Developers", 240, 615, 6495, 375}};
        const QStringList hidden = {"txtSource", "Frame1", "cmdABORT", "chkSubs", "cmdSource"};
        for (const Row& row : rows) {
            const QWidget* c = Control(row.name);
            QVERIFY2(TextOf(c) == row.text && c->geometry() == FromTwips({row.x, row.y, row.width, row.height}) &&
                     c->isVisibleTo(c->parentWidget()) != hidden.contains(row.name) && c->isEnabled(), row.name);
        }
        const QStringList tabOrder = {"cmdSource", "chkSubs", "cmdOut", "cmdSTART", "cmdABORT", "chkIncl",
                                      "txtSource", "txtOut", "Drive1", "chkPro", "Command1", "lblFile"};
        QStringList chain;  // one turn of the focus chain
        QWidget* w = Control("cmdSource");
        do if (tabOrder.contains(w->objectName()) && (w->focusPolicy() & Qt::TabFocus)) chain << w->objectName();
        while ((w = w->nextInFocusChain()) != Control("cmdSource"));
        QCOMPARE(chain, tabOrder);
        QVERIFY(form_->ProfileMode() && form_->SearchSubfolders() && form_->IncludePhotos());
        QVERIFY(form_->windowTitle() == "Snapsift" && form_->minimumSize() == form_->maximumSize());
        QCOMPARE(form_->centralWidget()->size(), FromTwips({0, 0, 6990, 4770}).size());
    }

    void modeSwitchingKeepsTheChoices() {
        form_->LoadDrives({MountEntry("/", "", "ext4"), MountEntry("/media/b", "CASE", "vfat")}, 1);
        Click("chkPro");
        QVERIFY(!form_->ProfileMode() && !Shown("Drive1") && Shown("txtSource") && Shown("cmdSource"));
        services_->chosen = {"/data/case/"};
        for (const char* name : {"chkSubs", "cmdSource", "chkPro"}) Click(name);
        QVERIFY(form_->ProfileMode() && Shown("Drive1") && !Shown("txtSource") && !Shown("chkSubs"));
        QCOMPARE(form_->SelectedDriveRoot(), std::string("/media/b"));
        Click("chkPro");
        QVERIFY(!form_->ProfileMode() && !form_->SearchSubfolders() && state_->SourceFolder == "/data/case/");
        QCOMPARE(TextOf(Control("txtSource")), QStringLiteral("/data/case/"));
    }

    // The real folder chooser behind both Browse buttons, and the real message box of the help.
    void realChooserAndMessageBox() {
        test::TempTree tree;
        const QString chosen = QString::fromStdString(tree.RootText());  // with the separator the chooser adds
        NewForm(true);
        Click("chkPro");
        QString title;
        for (const char* button : {"cmdSource", "cmdOut"}) {
            WhenModal<QFileDialog>([&](QFileDialog* d) {
                title = d->windowTitle(), d->setDirectory(chosen), d->QDialog::accept(); });
            Click(button);
            WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });  // the first choice stays
            Click(button);
        }
        QVERIFY(state_->SourceFolder == chosen.toStdString() && state_->OutputFolder == chosen.toStdString());
        QCOMPARE(QStringList({title, TextOf(Control("txtSource")), TextOf(Control("txtOut"))}),
                 QStringList({"Choose a folder:", chosen, chosen}));
        QStringList seen;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            seen << box->windowTitle() << box->text() << QString::number(box->icon());
            for (QAbstractButton* button : box->buttons()) seen << button->text().remove('&');
            box->button(QMessageBox::Ok)->click();
        });
        Click("Command1");
        QCOMPARE(seen, QStringList({"Snapsift",
            "If \"Only Search User Profile Folders On Selected Drive\" is checked, only the user profile folders "
            "('Documents and Settings' in XP, or 'Users' in Vista/7) will be searched. This greatly reduces the "
            "search time and is usually all that is needed since Quorvia JPG files are generally only found in "
            "the Temporary Internet Files.\n\nIf \"Only Search User Profile Folders On Selected Drive\" is NOT "
            "checked, you will have the option of selecting a specific folder to search, with (optionally) all "
            "sub-folders as well.", "0", "OK"}));
    }

    void chooserPathRuleAndDriveList() {
        struct Row { const char* chosen; char separator; const char* expected; };
        const Row rows[] = {{"D:\\Cases", '\\', "D:\\Cases\\"}, {"E:\\", '\\', "E:\\"}, {"", '\\', ""},
                            {"\\\\server\\share", '\\', "\\\\server\\share\\"}, {"/media/x", '/', "/media/x/"},
                            {"/media/x/", '/', "/media/x/"}, {"/", '/', "/"}, {"", '/', ""},
                            {"/home/ana/Fotos ñ", '/', "/home/ana/Fotos ñ/"}};
        for (const Row& row : rows)
            QCOMPARE(QString::fromStdString(FolderPathFromChooser(row.chosen, row.separator)), QString(row.expected));

        // Only real file systems are offered; the folder's own volume always is.
        QVERIFY(IsSearchableMount("/dev/sdb1", "ntfs3", false) && IsSearchableMount("/dev/loop0", "ext4", false));
        QVERIFY(IsSearchableMount("//server/share", "cifs", false) && IsSearchableMount("srv:/x", "nfs4", false));
        QVERIFY(!IsSearchableMount("proc", "proc", false) && !IsSearchableMount("cgroup2", "cgroup2", false));
        QVERIFY(!IsSearchableMount("tmpfs", "tmpfs", false) && IsSearchableMount("tmpfs", "tmpfs", true));
        // The longest root holding the folder wins, by whole path parts; letters in any case.
        const std::vector drives = {MountEntry("/", "", "ext4"), MountEntry("/media/evidence", "CASE", "ntfs"),
                                    MountEntry("/media/evidence2", "", "exfat"), DriveLetterEntry("C:/", "")};
        QStringList got = {drives[1].text};
        for (const char* folder : {"/media/evidence2/Users", "/media/evidence", "/home/ana", "c:/Cases"})
            got << QString::number(IndexOfDriveHolding(drives, folder));
        for (const DriveEntry& drive : drives) got << QString::fromStdString(drive.prefix);
        QCOMPARE(got, QStringList({"/media/evidence [CASE]", "2", "1", "0", "3", "", "/media/evidence",
                                   "/media/evidence2", "c:"}));
    }

    void startStops() {
        struct Row { const char* why; bool badDigest, folderMode, chooseSource; const char* output, *message; };
        const char* selfTest = "Internal calculation error!! Can not continue.";
        const Row rows[] = {{"self-test", true, false, false, "out", selfTest},
                            {"self-test before the checks", true, true, false, nullptr, selfTest},
                            {"no source", false, true, false, nullptr, "Please choose a folder to search."},
                            {"no output", false, true, true, nullptr, "Please choose an output folder."},
                            {"no output, profiles", false, false, false, nullptr, "Please choose an output folder."},
                            {"output folder gone", false, true, true, "gone", "Error creating output folder."}};
        for (const Row& row : rows) {
            NewForm();
            test::TempTree tree;
            tree.Entries({{"source/", ""}, {"out/", ""}});
            if (row.badDigest) form_->SetScanEnvironment({{}, [](auto) { return std::string(32, '0'); }});
            if (row.folderMode) services_->chosen = {row.chooseSource ? tree.Text("source") + "/" : ""};
            services_->chosen.push_back(row.output ? tree.Text(row.output) + "/" : "");
            if (row.folderMode) for (const char* name : {"chkPro", "cmdSource"}) Click(name);
            for (const char* name : {"cmdOut", "cmdSTART"}) Click(name);
            QVERIFY2(services_->messages == QStringList{row.message} && form_->shown.empty() &&
                     LookFaults(false).isEmpty() && fs::is_empty(tree.Path("out")) && !fs::exists(tree.Path("gone")),
                     row.why);
        }
    }

    // One scan of a mixed tree started with START: during it the running look, close requests refused
    // and the About box opened; after it the total, the report, the idle look, the About box's links.
    void wholeScan() {
        test::TempTree tree;
        tree.Entries({{"source/n1234567_890_123[1].jpg", kJpeg}, {"source/notes.txt", "not a photo"},
                      {"source/sub/1111_222_333_444_555_n[1].jpg", kJpeg}, {"source/sub/holiday.jpg", kJpeg},
                      {"source/sub/deeper/n7654321_1_2[1].jpg", kJpeg}});
        ScanTree(tree, 0);
        QStringList running = {"never yielded"};
        std::vector<bool> closed;  // by the close box, then by File > Exit
        std::vector<frmAbout*> boxes;
        form_->onYield = [&](std::size_t shown) {
            if (shown == 1) { running = LookFaults(true); closed.push_back(form_->close()); }
            if (shown == 2) { Trigger("mnuExit"); closed.push_back(!form_->isVisible()); }
            if (shown <= 2) { Trigger("mnuAbout"); boxes.push_back(form_->AboutBox()); }
        };
        services_->onMessage = [&] { if (!LookFaults(true).isEmpty()) running << "idle look before the total"; };
        Click("cmdSTART");
        QCOMPARE(running.join("; "), QString());
        QCOMPARE(closed, std::vector<bool>({false, false}));
        QCOMPARE(services_->messages, QStringList({kTotal.arg("complete").arg(3)}));
        QVERIFY(form_->shown.size() == 5 && TextOf(Control("lblFile")) == QString::fromStdString(form_->shown.back()));
        QCOMPARE(LookFaults(false).join("; "), QString());
        const auto [report, photos] = OnlyReport(tree.Path("out"));
        QVERIFY(report.ends_with("<hr>End of Report<br>\r\nTotal files found: 3<hr>\r\n</body></html>\r\n"));
        QVERIFY(report.find("holiday.jpg") == std::string::npos && photos == 3);

        frmAbout* about = form_->AboutBox();
        QVERIFY(about && about->isVisible() && !about->isModal() && about->windowTitle() == "About Snapsift");
        QCOMPARE(boxes, std::vector<frmAbout*>({about, about}));
        for (const char* label : {"Label1", "Label2", "lblDescription"})
            QTest::mouseClick(about->findChild<QWidget*>(label), Qt::LeftButton);
        QCOMPARE(services_->urls, std::vector<QUrl>(2, QUrl("https://snapsift.example.org")));
        const std::pair<const char*, QString> texts[] = {
            {"lblTitle", "Snapsift"}, {"lblVersion", "Version 1.2.0"},
            {"lblDescription", "Searches for possible Quorvia JPG image files and creates an HTML report with the "
                               "file names, modified/accessed/created times, MD5 hash, Quorvia ID number, and the "
                               "image itself."},
            {"lblDisclaimer", "Legal disclaimer: This program is provided free of charge and comes with no "
                              "guarantee or warranty whatsoever. All liability and risk is assumed by the user."}};
        for (const auto& [name, text] : texts) QCOMPARE(TextOf(about->findChild<QWidget*>(name)), text);
        Trigger("mnuExit");  // closing works again once the scan is over; the About box stays
        QVERIFY(!form_->isVisible() && about->isVisible());
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
            QTest::keyClick(form_->AboutBox()->findChild<QWidget*>("lblDescription"), key);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY2(!form_->AboutBox(), "still open");
            Trigger("mnuAbout");
        }
    }

    // ABORT is posted during the third file's yield and so pressed during the fourth's.
    void abortAnswered() {
        for (const bool yes : {true, false}) {
            NewForm();
            test::TempTree tree;
            ScanTree(tree, 20);
            services_->answers = {yes};
            form_->onYield = [&](auto n) { if (n == 3) QMetaObject::invokeMethod(this, [&] { Click("cmdABORT"); }, Qt::QueuedConnection); };
            Click("cmdSTART");
            QCOMPARE(services_->questions, QStringList({"Are you sure you want to cancel this operation?"}));
            QCOMPARE(services_->messages, QStringList({kTotal.arg(yes ? "aborted" : "complete").arg(yes ? 4 : 20)}));
            QCOMPARE(form_->shown.size(), std::size_t(yes ? 4 : 20));
            const std::string end = yes ? "<hr>Operation was aborted before completion.<br>\r\nTotal files found: 4"
                                        : "<hr>End of Report<br>\r\nTotal files found: 20";
            QVERIFY(OnlyReport(tree.Path("out")).first.ends_with(end + "<hr>\r\n</body></html>\r\n"));
        }
    }
};

}  // namespace snapsift

// As QTEST_MAIN, on the event dispatcher that the window program itself uses.
int main(int argc, char* argv[]) {
    snapsift::UseLeanEventDispatcher();
    QApplication application(argc, argv);
    application.setAttribute(Qt::AA_Use96Dpi, true);
    snapsift::Form1Test test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "Form1Test.moc"
