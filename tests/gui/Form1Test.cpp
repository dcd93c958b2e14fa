// The main window and its About box driven as a user drives them, under the offscreen platform:
// first look, modes, Browse, help, START's stops, whole scans, ABORT, closing, the About box.
#include <QTest>
#include <QtWidgets>
#include <filesystem>
#include <functional>

#include "about/frmAbout.h"
#include "app/DriveList.h"
#include "app/Form1.h"
#include "app/WindowServices.h"
#include "platform/BrowseFolder.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

namespace fs = std::filesystem;
constexpr char kJpeg[] = "\xFF\xD8\xFF\xE0 photo bytes";
const QString kHelpText = QStringLiteral(
    "If \"Only Search User Profile Folders On Selected Drive\" is checked, only the user profile "
    "folders ('Documents and Settings' in XP, or 'Users' in Vista/7) will be searched. This "
    "greatly reduces the search time and is usually all that is needed since Quorvia JPG files "
    "are generally only found in the Temporary Internet Files.\n\nIf \"Only Search User "
    "Profile Folders On Selected Drive\" is NOT checked, you will have the option of selecting a "
    "specific folder to search, with (optionally) all sub-folders as well.");

QString Total(int found, bool aborted = false) {
    return QStringLiteral("Operation %1.\r\n\r\nTotal files found: %2").arg(aborted ? "aborted" : "complete").arg(found);
}

// Scripted chooser and Yes/No answers ("" and No once they run out), and a log of what was shown.
struct FakeServices : WindowServices {
    QList<std::string> folders;
    QList<bool> answers;
    std::function<void()> onMessage;
    QStringList messages, questions;
    std::vector<QUrl> urls;
    std::string BrowseFolder(std::string_view, QWidget*) override { return folders.isEmpty() ? "" : folders.takeFirst(); }
    void ShowMessage(QWidget*, const QString& text) override { messages << text; if (onMessage) onMessage(); }
    bool AskYesNo(QWidget*, const QString& text) override { questions << text; return answers.value(questions.size() - 1); }
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
QRect FromTwips(const QWidget& w, const QRect& t) {
    auto at = [&](int x, int y) {
        return QPoint(qRound(x * w.logicalDpiX() / 1440.0), qRound(y * w.logicalDpiY() / 1440.0));
    };
    return QRect(at(t.x(), t.y()), at(t.x() + t.width(), t.y() + t.height()) - QPoint(1, 1));
}

QString TextOf(const QWidget* control) {
    return control->property(qobject_cast<const QPlainTextEdit*>(control) ? "plainText" : "text").toString();
}

// The report of the one run folder made in output, and how many photos were copied beside it.
std::pair<std::string, int> OnlyReport(const fs::path& output) {
    std::vector<fs::path> runs(fs::directory_iterator(output), fs::directory_iterator{});
    if (runs.size() != 1 || !runs[0].filename().string().starts_with("Snapsift - ")) return {"", -1};
    const auto photos = std::ranges::count_if(fs::directory_iterator(runs[0]),
                                              [](const auto& entry) { return entry.path().extension() == ".jpg"; });
    return {test::ReadBytes(runs[0] / "Quorvia JPG Files.htm"), int(photos)};
}

// Acts on the first modal Dialog that comes up, from the event loop.
template <typename Dialog>
void WhenModal(std::function<void(Dialog*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog && timer->isActive()) { timer->stop(); timer->deleteLater(); act(dialog); }
    });
    timer->start(10);
}

}  // namespace

class Form1Test : public QObject {
    Q_OBJECT

    std::unique_ptr<ScanState> state_;
    std::unique_ptr<FakeServices> services_;
    std::unique_ptr<ObservedForm> form_;
    SystemWindowServices system_;

    QWidget* Control(const char* name) const {
        if (auto* control = form_->findChild<QWidget*>(name)) return control;
        qFatal("no control %s", name);
    }
    bool Shown(const char* name) const { return Control(name)->isVisibleTo(form_.get()); }
    void Click(const char* name) { QTest::mouseClick(Control(name), Qt::LeftButton); }
    void Trigger(const char* name) { form_->findChild<QAction*>(name)->trigger(); }

    void NewForm(bool realServices = false) {
        form_.reset();
        state_ = std::make_unique<ScanState>();
        services_ = std::make_unique<FakeServices>();
        form_ = std::make_unique<ObservedForm>(*state_, realServices ? system_ : static_cast<WindowServices&>(*services_));
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }

    // What differs from the idle or the running look, the client height included.
    QStringList LookFaults(bool running) const {
        QStringList faults;
        if (Shown("cmdSTART") == running || Shown("cmdABORT") != running || Shown("Frame1") != running)
            faults << "START, ABORT or progress frame";
        for (const char* name : {"chkPro", "chkSubs", "chkIncl", "cmdOut", "cmdSource", "Command1"})
            if (Control(name)->isEnabled() == running) faults << QString(name) + " enabled wrongly";
        if (form_->centralWidget()->height() != FromTwips(*form_, {0, 0, 0, running ? 6270 : 4770}).height())
            faults << "client height";
        return faults;
    }

    // count recognised photos in source/, an empty out/, both chosen in folder mode.
    void ScanTree(test::TempTree& tree, int count) {
        for (int i = 0; i < count; ++i) tree.File("source/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kJpeg);
        tree.Folder("out");
        Click("chkPro");
        services_->folders = {tree.Text("source") + "/", tree.Text("out") + "/"};
        Click("cmdSource");
        Click("cmdOut");
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() { NewForm(); }

    void initialLook() {
        struct Row { const char* name; QString text; QRect twips; bool shown; };
        const Row rows[] = {
            {"Command1", "?", {6480, 1275, 375, 375}, true},
            {"chkPro", "Only Search User Profile Folders On Selected Drive", {4200, 1200, 2175, 495}, true},
            {"Drive1", "", {480, 1800, 5055, 360}, true}, {"txtOut", "", {120, 3240, 5415, 375}, true},
            {"txtSource", "", {480, 1800, 5055, 375}, false},
            {"chkIncl", "Include photos in report", {4680, 4155, 2055, 255}, true},
            {"cmdABORT", "ABORT", {2160, 3960, 2295, 615}, false}, {"Frame1", "", {0, 4680, 6975, 1575}, false},
            {"lblFile", "", {120, 480, 6735, 975}, true}, {"Label7", "Scanning:", {120, 160, 855, 255}, true},
            {"cmdSTART", "START", {2160, 3960, 2295, 615}, true}, {"cmdOut", "Browse", {5640, 3240, 1215, 375}, true},
            {"chkSubs", "Search subfolders", {2880, 1200, 1095, 495}, false},
            {"cmdSource", "Browse", {5640, 1800, 1215, 375}, false},
            {"Label4", "(an HTML report file called 'Quorvia JPG Files.htm' will be saved to this folder, "
                       "along with copies of all the located image files)", {2400, 2520, 3735, 735}, true},
            {"Label5", "Select an output folder:", {120, 2880, 2175, 255}, true},
            {"Label3", "Select a source:", {120, 1440, 1455, 255}, true},
            {"Label2", "Copyright (c) 2026 Snapsift Developers", {240, 615, 6495, 375}, true},
            {"Label1", "Snapsift v1.2.0", {240, 75, 6495, 495}, true}};
        QStringList faults;
        for (const Row& row : rows) {
            const QWidget* control = Control(row.name);
            if (TextOf(control) != row.text) faults << QString(row.name) + " text " + TextOf(control);
            if (control->geometry() != FromTwips(*form_, row.twips)) faults << QString(row.name) + " geometry";
            if (control->isVisibleTo(control->parentWidget()) != row.shown) faults << QString(row.name) + " shown";
            if (!control->isEnabled()) faults << QString(row.name) + " disabled";
        }
        QCOMPARE(faults.join("; "), QString());
        const QStringList tabOrder = {"cmdSource", "chkSubs", "cmdOut", "cmdSTART", "cmdABORT", "chkIncl",
                                      "txtSource", "txtOut", "Drive1", "chkPro", "Command1", "lblFile"};
        QStringList chain;  // one turn of the focus chain
        QWidget* widget = Control("cmdSource");
        do if (tabOrder.contains(widget->objectName()) && (widget->focusPolicy() & Qt::TabFocus))
            chain << widget->objectName();
        while ((widget = widget->nextInFocusChain()) != Control("cmdSource"));
        QCOMPARE(chain, tabOrder);
        QVERIFY(form_->ProfileMode() && form_->SearchSubfolders() && form_->IncludePhotos());
        QCOMPARE(form_->windowTitle(), QStringLiteral("Snapsift"));
        QCOMPARE(form_->minimumSize(), form_->maximumSize());
        QCOMPARE(form_->centralWidget()->width(), FromTwips(*form_, {0, 0, 6990, 0}).width());
        QCOMPARE(LookFaults(false).join("; "), QString());
    }

    void modeSwitchingKeepsTheChoices() {
        form_->LoadDrives({MountEntry("/", "", "ext4"), MountEntry("/media/b", "CASE", "vfat")}, 1);
        Click("chkPro");
        QVERIFY(!form_->ProfileMode() && !Shown("Drive1") && Shown("txtSource") && Shown("cmdSource"));
        Click("chkSubs");
        services_->folders = {"/data/case/"};
        Click("cmdSource");
        Click("chkPro");
        QVERIFY(form_->ProfileMode() && Shown("Drive1") && !Shown("txtSource") && !Shown("chkSubs"));
        QCOMPARE(form_->SelectedDriveRoot(), std::string("/media/b"));
        Click("chkPro");
        QVERIFY(!form_->ProfileMode() && !form_->SearchSubfolders());
        QCOMPARE(TextOf(Control("txtSource")), QStringLiteral("/data/case/"));
        QCOMPARE(state_->SourceFolder, std::string("/data/case/"));
    }

    // The real folder chooser behind both Browse buttons, and the real message box of the help.
    void realChooserAndMessageBox() {
        test::TempTree tree;
        tree.Folder("Cases");
        NewForm(true);
        Click("chkPro");
        QString title;
        for (const char* button : {"cmdSource", "cmdOut"}) {
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                title = dialog->windowTitle();
                dialog->setDirectory(QString::fromStdString(tree.Text("Cases")));
                static_cast<QDialog*>(dialog)->accept();
            });
            Click(button);
            WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });  // the first choice stays
            Click(button);
        }
        const std::string chosen = tree.Text("Cases") + "/";
        QCOMPARE(title, QStringLiteral("Choose a folder:"));
        QVERIFY(state_->SourceFolder == chosen && state_->OutputFolder == chosen);
        QCOMPARE(TextOf(Control("txtSource")) + "|" + TextOf(Control("txtOut")), QString::fromStdString(chosen + "|" + chosen));
        QStringList seen;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            seen << box->windowTitle() << box->text() << QString::number(box->icon());
            for (QAbstractButton* button : box->buttons()) seen << button->text().remove('&');
            box->button(QMessageBox::Ok)->click();
        });
        Click("Command1");
        QCOMPARE(seen, QStringList({"Snapsift", kHelpText, "0", "OK"}));
    }

    void chooserPathRule() {
        struct Row { const char* chosen; char separator; const char* expected; };
        const Row rows[] = {{"D:\\Cases", '\\', "D:\\Cases\\"}, {"E:\\", '\\', "E:\\"}, {"", '\\', ""},
                            {"\\\\server\\share", '\\', "\\\\server\\share\\"}, {"/media/x", '/', "/media/x/"},
                            {"/media/x/", '/', "/media/x/"}, {"/", '/', "/"}, {"", '/', ""},
                            {"/home/ana/Fotos ñ", '/', "/home/ana/Fotos ñ/"}};
        for (const Row& row : rows)
            QCOMPARE(QString::fromStdString(FolderPathFromChooser(row.chosen, row.separator)),
                     QString::fromUtf8(row.expected));
    }

    void driveList() {
        // Only real file systems are offered; the folder's own volume always is.
        QVERIFY(IsSearchableMount("/dev/sdb1", "ntfs3", false) && IsSearchableMount("/dev/loop0", "ext4", false));
        QVERIFY(IsSearchableMount("//server/share", "cifs", false) && IsSearchableMount("srv:/x", "nfs4", false));
        QVERIFY(!IsSearchableMount("proc", "proc", false) && !IsSearchableMount("cgroup2", "cgroup2", false));
        QVERIFY(!IsSearchableMount("tmpfs", "tmpfs", false) && IsSearchableMount("tmpfs", "tmpfs", true));
        // The longest root holding the folder wins, by whole path parts; letters in any case.
        const std::vector<DriveEntry> drives = {MountEntry("/", "", "ext4"), MountEntry("/media/evidence", "CASE", "ntfs"),
                                                MountEntry("/media/evidence2", "", "exfat"), DriveLetterEntry("C:/", "")};
        QCOMPARE(IndexOfDriveHolding(drives, "/media/evidence2/Users"), 2);
        QCOMPARE(IndexOfDriveHolding(drives, "/media/evidence"), 1);
        QCOMPARE(IndexOfDriveHolding(drives, "/home/ana"), 0);
        QCOMPARE(IndexOfDriveHolding(drives, "c:/Cases"), 3);
        QCOMPARE(drives[1].text, QString("/media/evidence [CASE]"));
        QCOMPARE(drives[1].prefix, std::string("/media/evidence"));
        QCOMPARE(drives[0].prefix, std::string());
        QCOMPARE(drives[3].prefix, std::string("c:"));
    }

    void startStops() {
        struct Row { const char* why; bool badDigest, folderMode, chooseSource; const char* output, *message; };
        const char* selfTest = "Internal calculation error!! Can not continue.";
        const Row rows[] = {{"self-test", true, false, false, "out", selfTest},
                            {"self-test before the checks", true, true, false, nullptr, selfTest},
                            {"no source", false, true, false, nullptr, "Please choose a folder to search."},
                            {"no output", false, true, true, nullptr, "Please choose an output folder."},
                            {"no output, profile mode", false, false, false, nullptr, "Please choose an output folder."},
                            {"output folder gone", false, true, true, "gone", "Error creating output folder."}};
        QStringList faults;
        for (const Row& row : rows) {
            NewForm();
            test::TempTree tree;
            tree.Entries({{"source/", ""}, {"out/", ""}});
            if (row.badDigest) form_->SetScanEnvironment({{}, [](auto) { return std::string(32, '0'); }});
            if (row.folderMode) services_->folders = {row.chooseSource ? tree.Text("source") + "/" : ""};
            services_->folders.push_back(row.output ? tree.Text(row.output) + "/" : "");
            if (row.folderMode) { Click("chkPro"); Click("cmdSource"); }
            Click("cmdOut");
            Click("cmdSTART");
            if (services_->messages != QStringList{row.message} || !form_->shown.empty() || !LookFaults(false).isEmpty() ||
                !fs::is_empty(tree.Path("out")) || fs::exists(tree.Path("gone")))
                faults << QString(row.why) + ": " + services_->messages.join('|') + ' ' + LookFaults(false).join(',');
        }
        QCOMPARE(faults.join("; "), QString());
    }

    // One scan of a mixed tree started with START: during it the running look, close requests refused
    // and the About box opened; after it the total, the report, the idle look, the About box, closing.
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
            if (shown == 1) running = LookFaults(true);
            if (shown == 1) closed.push_back(form_->close());
            if (shown == 2) { Trigger("mnuExit"); closed.push_back(!form_->isVisible()); }
            if (shown <= 2) { Trigger("mnuAbout"); boxes.push_back(form_->AboutBox()); }
        };
        services_->onMessage = [&] { if (!LookFaults(true).isEmpty()) running << "idle look before the total"; };
        Click("cmdSTART");
        QCOMPARE(running.join("; "), QString());
        QCOMPARE(closed, std::vector<bool>({false, false}));
        QCOMPARE(services_->messages, QStringList({Total(3)}));
        QCOMPARE(form_->shown.size(), std::size_t{5});
        QCOMPARE(TextOf(Control("lblFile")), QString::fromStdString(form_->shown.back()));
        QCOMPARE(LookFaults(false).join("; "), QString());
        const auto [report, photos] = OnlyReport(tree.Path("out"));
        QVERIFY(report.starts_with("<html><head><title>Possible Quorvia JPG files and ID's</title>"));
        QVERIFY(report.ends_with("<hr>End of Report<br>\r\nTotal files found: 3<hr>\r\n</body></html>\r\n"));
        for (const char* name : {"n1234567_890_123[1].jpg", "1111_222_333_444_555_n[1].jpg", "n7654321_1_2[1].jpg"})
            QVERIFY2(report.find(name) != std::string::npos, name);
        QVERIFY(report.find("holiday.jpg") == std::string::npos);
        QCOMPARE(photos, 3);

        frmAbout* about = form_->AboutBox();
        QVERIFY(about && about->isVisible() && !about->isModal());
        QCOMPARE(boxes, std::vector<frmAbout*>({about, about}));
        QCOMPARE(about->windowTitle(), QStringLiteral("About Snapsift"));
        const std::pair<const char*, QString> texts[] = {
            {"lblTitle", "Snapsift"}, {"lblVersion", "Version 1.2.0"}, {"cmdOK", "OK"},
            {"lblDescription", "Searches for possible Quorvia JPG image files and creates an HTML report with the file "
                               "names, modified/accessed/created times, MD5 hash, Quorvia ID number, and the image itself."},
            {"lblDisclaimer", "Legal disclaimer: This program is provided free of charge and comes with no guarantee "
                              "or warranty whatsoever. All liability and risk is assumed by the user."},
            {"Label1", "Copyright (c) 2026 Snapsift Developers"}, {"Label2", "https://snapsift.example.org"}};
        for (const auto& [name, text] : texts) QCOMPARE(TextOf(about->findChild<QWidget*>(name)), text);
        for (const char* label : {"Label1", "Label2", "lblDescription"})
            QTest::mouseClick(about->findChild<QWidget*>(label), Qt::LeftButton);
        QCOMPARE(services_->urls, std::vector<QUrl>(2, QUrl("https://snapsift.example.org")));
        Trigger("mnuExit");
        QVERIFY(!form_->isVisible() && about->isVisible());  // the About box is a window of its own
        form_->show();
        QVERIFY(form_->close() && !form_->isVisible());
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
            QTest::keyClick(about->findChild<QWidget*>("lblDescription"), key);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY2(!form_->AboutBox(), "still open");
            Trigger("mnuAbout");
            about = form_->AboutBox();
            QVERIFY(about && about->isVisible());
        }
    }

    // ABORT is posted during the third file's yield and so pressed during the fourth's.
    void abortAnswered() {
        for (const bool yes : {true, false}) {
            NewForm();
            test::TempTree tree;
            ScanTree(tree, 20);
            services_->answers = {yes};
            form_->onYield = [&](auto shown) { if (shown == 3) QTimer::singleShot(0, this, [&] { Click("cmdABORT"); }); };
            Click("cmdSTART");
            QCOMPARE(services_->questions, QStringList({"Are you sure you want to cancel this operation?"}));
            QCOMPARE(services_->messages, QStringList({yes ? Total(4, true) : Total(20)}));
            QCOMPARE(form_->shown.size(), std::size_t(yes ? 4 : 20));
            const std::string report = OnlyReport(tree.Path("out")).first;
            const auto has = [&](const char* text) { return report.find(text) != std::string::npos; };
            QVERIFY(yes ? has("Operation was aborted before completion.<br>\r\nTotal files found: 4<hr>") &&
                              !has("End of Report")
                        : has("<hr>End of Report<br>"));
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
