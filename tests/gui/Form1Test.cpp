// The main window driven as a user drives it: its first look, profile and folder mode, the
// Browse buttons, the help text, every stop of START, whole scans on real folder trees, ABORT
// answered Yes and No, close requests during and after a scan, the About box during a scan,
// and the real message boxes and folder chooser.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

#include "FakeServices.h"
#include "FontCheck.h"
#include "about/frmAbout.h"
#include "app/Form1.h"
#include "support/TempTree.h"

namespace snapsift {

namespace fs = std::filesystem;
using test::FakeServices;
using test::TempTree;

namespace {

const QString kHelpText = QStringLiteral(
    "If \"Only Search User Profile Folders On Selected Drive\" is checked, only the user profile "
    "folders ('Documents and Settings' in XP, or 'Users' in Vista/7) will be searched. This "
    "greatly reduces the search time and is usually all that is needed since Quorvia JPG files "
    "are generally only found in the Temporary Internet Files.\r\n\r\nIf \"Only Search User "
    "Profile Folders On Selected Drive\" is NOT checked, you will have the option of selecting a "
    "specific folder to search, with (optionally) all sub-folders as well.");
const QString kAbortQuestion = QStringLiteral("Are you sure you want to cancel this operation?");
const QColor kDarkBlue(0, 0, 128);
constexpr char kJpegBytes[] = "\xFF\xD8\xFF\xE0 photo bytes";

// The main window with a look into the scan: every path it was shown, and a hook that runs
// inside every yield with the number of paths shown so far.
class ObservedForm : public Form1 {
public:
    using Form1::Form1;
    std::vector<std::string> shownPaths;
    std::function<void(std::size_t)> onYield;

    void ShowPath(const std::string& fullPath) override {
        shownPaths.push_back(fullPath);
        Form1::ShowPath(fullPath);
    }
    void Yield() override {
        Form1::Yield();
        if (onYield) onYield(shownPaths.size());
    }
};

QRect FromTwips(const QWidget& widget, int left, int top, int width, int height) {
    auto x = [&](int twips) { return qRound(twips * widget.logicalDpiX() / 1440.0); };
    auto y = [&](int twips) { return qRound(twips * widget.logicalDpiY() / 1440.0); };
    return QRect(x(left), y(top), x(left + width) - x(left), y(top + height) - y(top));
}

int PixelsY(const QWidget& widget, int twips) {
    return qRound(twips * widget.logicalDpiY() / 1440.0);
}

QString ControlText(const QWidget* control) {
    if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
    if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    if (auto* line = qobject_cast<const QLineEdit*>(control)) return line->text();
    if (auto* box = qobject_cast<const QPlainTextEdit*>(control)) return box->toPlainText();
    return {};
}

// Run folders ("Snapsift - ...") made inside an output folder.
std::vector<fs::path> RunFolders(const fs::path& output) {
    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(output)) {
        if (entry.is_directory() && entry.path().filename().string().starts_with("Snapsift - ")) {
            folders.push_back(entry.path());
        }
    }
    return folders;
}

int CountFiles(const fs::path& folder, std::string_view extension) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == extension) ++count;
    }
    return count;
}

// Runs act on the first modal widget of type Dialog that comes up, from the event loop.
template <typename Dialog>
void WhenModal(std::function<void(Dialog*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start();
}

}  // namespace

class Form1Test : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScanState> state_;
    std::unique_ptr<FakeServices> services_;
    std::unique_ptr<ObservedForm> form_;

    ObservedForm& Form() { return *form_; }
    template <typename T = QWidget>
    T* Control(const char* name) const {
        T* control = form_->findChild<T*>(QString::fromLatin1(name));
        if (!control) qFatal("no control %s", name);
        return control;
    }
    bool Shown(const char* name) const { return Control(name)->isVisibleTo(form_.get()); }
    int ClientHeight() const { return form_->centralWidget()->height(); }

    void Click(const char* name) { QTest::mouseClick(Control(name), Qt::LeftButton); }
    void Trigger(const char* action) { Control<QAction>(action)->trigger(); }

    // Folder mode, with the source and output folders chosen through the Browse buttons.
    void ChooseFolders(const std::string& source, const std::string& output) {
        if (Control<QCheckBox>("chkPro")->isChecked()) Click("chkPro");
        services_->folderChoices = {source, output};
        Click("cmdSource");
        Click("cmdOut");
    }

    // Checks the idle look: START, no ABORT, no progress frame, every choice enabled.
    void VerifyIdle() {
        QVERIFY(Shown("cmdSTART"));
        QVERIFY(!Shown("cmdABORT"));
        QVERIFY(!Shown("Frame1"));
        for (const char* name : {"chkPro", "chkSubs", "chkIncl", "cmdOut", "cmdSource", "Command1"}) {
            QVERIFY2(Control(name)->isEnabled(), name);
        }
        QCOMPARE(ClientHeight(), PixelsY(Form(), 6270 - 1500));
    }

    // The running look as the walk sees it during a yield.
    QStringList RunningLookFaults() {
        QStringList faults;
        if (!Shown("cmdABORT")) faults << "ABORT hidden";
        if (Shown("cmdSTART")) faults << "START shown";
        if (!Shown("Frame1")) faults << "progress frame hidden";
        for (const char* name : {"chkPro", "chkSubs", "chkIncl", "cmdOut", "cmdSource", "Command1"}) {
            if (Control(name)->isEnabled()) faults << QString::fromLatin1(name) + " enabled";
        }
        if (!Control("Drive1")->isEnabled()) faults << "drive list disabled";
        if (!Control<QAction>("mnuExit")->isEnabled() || !Control<QAction>("mnuAbout")->isEnabled())
            faults << "menu disabled";
        if (ClientHeight() != PixelsY(Form(), 6270)) faults << "height not restored";
        return faults;
    }

    // A flat folder of recognised photo files.
    static void MakePhotos(TempTree& tree, std::string_view folder, int count) {
        for (int i = 0; i < count; ++i) {
            tree.File(std::string(folder) + "/n" + std::to_string(1000000 + i) + "_1_2[1].jpg",
                      kJpegBytes);
        }
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void init() {
        state_ = std::make_unique<ScanState>();
        services_ = std::make_unique<FakeServices>();
        form_ = std::make_unique<ObservedForm>(*state_, *services_);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup() {
        form_.reset();
        services_.reset();
        state_.reset();
    }

    void initialControls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        const QString none;
        QTest::newRow("Command1") << "Command1" << "?" << QRect(6480, 1275, 375, 375) << true << 9.75 << true;
        QTest::newRow("chkPro") << "chkPro" << "Only Search User Profile Folders On Selected Drive"
                                << QRect(4200, 1200, 2175, 495) << true << 8.25 << false;
        QTest::newRow("Drive1") << "Drive1" << none << QRect(480, 1800, 5055, 360) << true << 9.75 << false;
        QTest::newRow("txtOut") << "txtOut" << none << QRect(120, 3240, 5415, 375) << true << 8.25 << false;
        QTest::newRow("txtSource") << "txtSource" << none << QRect(480, 1800, 5055, 375) << false << 8.25 << false;
        QTest::newRow("chkIncl") << "chkIncl" << "Include photos in report"
                                 << QRect(4680, 4155, 2055, 255) << true << 8.25 << false;
        QTest::newRow("cmdABORT") << "cmdABORT" << "ABORT" << QRect(2160, 3960, 2295, 615) << false << 12.0 << true;
        QTest::newRow("Frame1") << "Frame1" << none << QRect(0, 4680, 6975, 1575) << false << 8.25 << false;
        QTest::newRow("lblFile") << "lblFile" << none << QRect(120, 480, 6735, 975) << true << 9.75 << false;
        QTest::newRow("Label7") << "Label7" << "Scanning:" << QRect(120, 160, 855, 255) << true << 8.25 << true;
        QTest::newRow("cmdSTART") << "cmdSTART" << "START" << QRect(2160, 3960, 2295, 615) << true << 12.0 << true;
        QTest::newRow("cmdOut") << "cmdOut" << "Browse" << QRect(5640, 3240, 1215, 375) << true << 8.25 << false;
        QTest::newRow("chkSubs") << "chkSubs" << "Search subfolders" << QRect(2880, 1200, 1095, 495) << false << 8.25 << false;
        QTest::newRow("cmdSource") << "cmdSource" << "Browse" << QRect(5640, 1800, 1215, 375) << false << 8.25 << false;
        QTest::newRow("Label4") << "Label4"
                                << "(an HTML report file called 'Quorvia JPG Files.htm' will be saved "
                                   "to this folder, along with copies of all the located image files)"
                                << QRect(2400, 2520, 3735, 735) << true << 8.25 << false;
        QTest::newRow("Label5") << "Label5" << "Select an output folder:" << QRect(120, 2880, 2175, 255) << true << 8.25 << true;
        QTest::newRow("Label3") << "Label3" << "Select a source:" << QRect(120, 1440, 1455, 255) << true << 8.25 << true;
        QTest::newRow("Label2") << "Label2" << "Copyright (c) 2026 Snapsift Developers"
                                << QRect(240, 615, 6495, 375) << true << 12.0 << true;
        QTest::newRow("Label1") << "Label1" << "Snapsift v1.2.0" << QRect(240, 75, 6495, 495) << true << 18.0 << true;
    }
    void initialControls() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QRect, twips);
        QFETCH(bool, shown);
        QFETCH(double, points);
        QFETCH(bool, bold);
        QWidget* control = Control(name.toLatin1().constData());
        QCOMPARE(ControlText(control), text);
        QCOMPARE(control->geometry(), FromTwips(Form(), twips.x(), twips.y(), twips.width(), twips.height()));
        QCOMPARE(control->isVisibleTo(control->parentWidget()), shown);
        QVERIFY(control->isEnabled());
        QCOMPARE(test::FontFault(*control, points, bold), QString());
        const bool inFrame = name == "lblFile" || name == "Label7";
        QCOMPARE(control->parentWidget() == Control("Frame1"), inFrame);
    }

    void initialState() {
        for (const char* name : {"chkPro", "chkSubs", "chkIncl"}) {
            QVERIFY2(Control<QCheckBox>(name)->isChecked(), name);
        }
        QVERIFY(Control<QLineEdit>("txtOut")->isReadOnly());
        QVERIFY(Control<QLineEdit>("txtSource")->isReadOnly());
        QVERIFY(Control<QPlainTextEdit>("lblFile")->isReadOnly());
        QVERIFY(state_->SourceFolder.empty() && state_->OutputFolder.empty());
        for (const char* name : {"Label1", "Label2", "Label4"}) {
            QCOMPARE(Control(name)->palette().color(QPalette::WindowText), kDarkBlue);
        }
        QCOMPARE(Control<QLabel>("Label1")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        QCOMPARE(Control<QLabel>("Label2")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        QVERIFY(Control<QComboBox>("Drive1")->currentIndex() >= 0);
        // The separator line.
        const QRect line = Control("Line1")->geometry();
        QCOMPARE(line.top(), PixelsY(Form(), 2400));
        QCOMPARE(line.width(), FromTwips(Form(), 0, 0, 6960, 0).width());
        VerifyIdle();
    }

    void labelsFitTheirBoxes() {
        for (QLabel* label : Form().findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) {
                QVERIFY2(test::TextFits(*label, label->font()), qPrintable(label->objectName()));
            }
        }
    }

    void windowFrame() {
        QCOMPARE(Form().windowTitle(), QStringLiteral("Snapsift"));
        QVERIFY(!Form().windowIcon().isNull());
        QCOMPARE(Form().minimumSize(), Form().maximumSize());  // fixed size
        QCOMPARE(Form().centralWidget()->width(), FromTwips(Form(), 0, 0, 6990, 0).width());
        QCOMPARE(Form().height(), Form().menuBar()->height() + PixelsY(Form(), 6270 - 1500));
        const Qt::WindowFlags flags = Form().windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    }

    void menus() {
        QStringList bar;
        for (QAction* action : Form().menuBar()->actions()) bar << action->text();
        QCOMPARE(bar, QStringList({"File", "Help"}));
        auto items = [](QMenu* menu) {
            QStringList texts;
            for (QAction* action : menu->actions()) texts << action->objectName() + "=" + action->text();
            return texts;
        };
        QCOMPARE(items(Control<QMenu>("mnuFile")), QStringList({"mnuExit=Exit"}));
        QCOMPARE(items(Control<QMenu>("mnuHelp")), QStringList({"mnuAbout=About..."}));
        QCOMPARE(Control<QMenu>("mnuFile")->title(), QStringLiteral("File"));
        QCOMPARE(Control<QMenu>("mnuHelp")->title(), QStringLiteral("Help"));
    }

    void tabOrder() {
        const QStringList designed = {"cmdSource", "chkSubs",   "cmdOut", "cmdSTART",
                                      "cmdABORT",  "chkIncl",   "txtSource", "txtOut",
                                      "Drive1",    "chkPro",    "Command1",  "lblFile"};
        QStringList chain;
        QWidget* widget = Control("cmdSource");
        for (int step = 0; step < 200 && chain.size() < designed.size(); ++step) {
            const QString name = widget->objectName();
            if (designed.contains(name) && !chain.contains(name)) chain << name;
            widget = widget->nextInFocusChain();
        }
        QCOMPARE(chain, designed);
        for (const QString& name : designed) {
            QVERIFY2(Control(name.toLatin1().constData())->focusPolicy() & Qt::TabFocus,
                     qPrintable(name));
        }
    }

    void profileAndFolderModeKeepTheChoices() {
        Form().LoadDrives({MountEntry("/", "", "ext4"), MountEntry("/media/a", "", "ntfs3"),
                           MountEntry("/media/b", "CASE", "vfat")},
                          2);
        QCOMPARE(QString::fromStdString(Form().SelectedDriveRoot()), QStringLiteral("/media/b"));
        QVERIFY(Form().ProfileMode());

        Click("chkPro");  // folder mode
        QVERIFY(!Form().ProfileMode());
        QVERIFY(!Shown("Drive1"));
        QVERIFY(Shown("txtSource") && Shown("chkSubs") && Shown("cmdSource"));
        QVERIFY(Control<QCheckBox>("chkSubs")->isChecked());
        QCOMPARE(Control<QLineEdit>("txtSource")->text(), QString());
        Click("chkSubs");
        QVERIFY(!Form().SearchSubfolders());
        services_->folderChoices = {"/data/case/"};
        Click("cmdSource");

        Click("chkPro");  // profile mode again
        QVERIFY(Form().ProfileMode());
        QVERIFY(Shown("Drive1"));
        QVERIFY(!Shown("txtSource") && !Shown("chkSubs") && !Shown("cmdSource"));
        QCOMPARE(Control<QComboBox>("Drive1")->currentIndex(), 2);
        QCOMPARE(Control<QComboBox>("Drive1")->currentText(), QStringLiteral("/media/b [CASE]"));

        Click("chkPro");  // and back to folder mode
        QVERIFY(!Control<QCheckBox>("chkSubs")->isChecked());
        QCOMPARE(Control<QLineEdit>("txtSource")->text(), QStringLiteral("/data/case/"));
        QCOMPARE(state_->SourceFolder, std::string("/data/case/"));
        VerifyIdle();
    }

    void browseKeepsTheFirstChoice_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("box");
        QTest::newRow("source") << "cmdSource" << "txtSource";
        QTest::newRow("output") << "cmdOut" << "txtOut";
    }
    void browseKeepsTheFirstChoice() {
        QFETCH(QString, button);
        QFETCH(QString, box);
        Click("chkPro");
        const bool source = button == "cmdSource";
        const std::string& folder = source ? state_->SourceFolder : state_->OutputFolder;
        auto* text = Control<QLineEdit>(box.toLatin1().constData());

        Click(button.toLatin1().constData());  // cancelled: nothing chosen yet
        QVERIFY(folder.empty());
        QCOMPARE(text->text(), QString());

        services_->folderChoices = {"/media/evidence/Cases/", "", "E:\\"};
        Click(button.toLatin1().constData());
        QCOMPARE(folder, std::string("/media/evidence/Cases/"));
        Click(button.toLatin1().constData());  // cancelled: the first choice stays
        QCOMPARE(folder, std::string("/media/evidence/Cases/"));
        QCOMPARE(text->text(), QStringLiteral("/media/evidence/Cases/"));
        text->clear();
        Click(button.toLatin1().constData());  // a drive root is shown as chosen
        QCOMPARE(text->text(), QStringLiteral("E:\\"));
        QCOMPARE(folder, std::string("E:\\"));

        QCOMPARE(services_->chooserTitles, QStringList(4, QStringLiteral("Choose a folder:")));
        for (QWidget* owner : services_->chooserOwners) QCOMPARE(owner, static_cast<QWidget*>(&Form()));
        // The other folder is untouched.
        QVERIFY((source ? state_->OutputFolder : state_->SourceFolder).empty());
    }

    void helpText() {
        Click("Command1");
        QCOMPARE(services_->messages, QStringList({kHelpText}));
        VerifyIdle();
    }

    void startStops_data() {
        QTest::addColumn<bool>("badDigest");
        QTest::addColumn<bool>("folderMode");
        QTest::addColumn<bool>("chooseSource");
        QTest::addColumn<QString>("output");  // "", "tree" or "missing"
        QTest::addColumn<QString>("message");
        QTest::newRow("self-test") << true << false << false << "tree"
                                   << "Internal calculation error!! Can not continue.";
        QTest::newRow("self-test before the checks") << true << true << false << ""
                                   << "Internal calculation error!! Can not continue.";
        QTest::newRow("no source in folder mode") << false << true << false << ""
                                   << "Please choose a folder to search.";
        QTest::newRow("no output") << false << true << true << ""
                                   << "Please choose an output folder.";
        QTest::newRow("no output, profile mode") << false << false << false << ""
                                   << "Please choose an output folder.";
        QTest::newRow("output folder gone") << false << true << true << "missing"
                                   << "Error creating output folder.";
    }
    void startStops() {
        QFETCH(bool, badDigest);
        QFETCH(bool, folderMode);
        QFETCH(bool, chooseSource);
        QFETCH(QString, output);
        QFETCH(QString, message);
        TempTree tree;
        tree.Folder("source");
        if (badDigest) {
            ScanEnvironment environment;
            environment.selfTestDigest = [](std::string_view) { return std::string(32, '0'); };
            Form().SetScanEnvironment(environment);
        }
        if (folderMode) Click("chkPro");
        if (chooseSource) {
            services_->folderChoices = {tree.Text("source") + "/"};
            Click("cmdSource");
        }
        std::string chosenOutput;
        if (!output.isEmpty()) {
            chosenOutput = output == "tree" ? tree.RootText() : tree.Text("gone") + "/";
            services_->folderChoices = {chosenOutput};
            Click("cmdOut");
        }
        Click("cmdSTART");
        QCOMPARE(services_->messages, QStringList({message}));
        QCOMPARE(state_->OutputFolder, chosenOutput);
        QVERIFY(Form().shownPaths.empty());
        VerifyIdle();
        if (output == "tree") QVERIFY(RunFolders(tree.Root()).empty());
    }

    void wholeScan_data() {
        QTest::addColumn<bool>("photos");
        QTest::newRow("with photos") << true;
        QTest::newRow("without photos") << false;
    }
    void wholeScan() {
        QFETCH(bool, photos);
        TempTree tree;
        tree.Entries({{"source/n1234567_890_123[1].jpg", kJpegBytes},
                      {"source/notes.txt", "not a photo"},
                      {"source/sub/1111_222_333_444_555_n[1].jpg", kJpegBytes},
                      {"source/sub/holiday.jpg", kJpegBytes},
                      {"source/sub/deeper/n7654321_1_2[1].jpg", kJpegBytes},
                      {"out/", ""}});
        ChooseFolders(tree.Text("source") + "/", tree.Text("out") + "/");
        if (!photos) Click("chkIncl");
        QStringList lookFaults;
        bool lookChecked = false;
        Form().onYield = [&](std::size_t) {
            if (lookChecked) return;
            lookChecked = true;
            lookFaults = RunningLookFaults();
        };
        QStringList lookAtFinalMessage;
        services_->onMessage = [&](const QString&) { lookAtFinalMessage = RunningLookFaults(); };

        Click("cmdSTART");

        QVERIFY(lookChecked);
        QCOMPARE(lookFaults, QStringList());
        QCOMPARE(lookAtFinalMessage, QStringList());  // the total is shown before the idle look
        QCOMPARE(services_->messages,
                 QStringList({QStringLiteral("Operation complete.\r\n\r\nTotal files found: 3")}));
        QCOMPARE(state_->FilesFound, 3);
        QCOMPARE(state_->OutputFolder, tree.Text("out") + "/");
        QCOMPARE(Form().shownPaths.size(), std::size_t{5});
        QCOMPARE(Control<QPlainTextEdit>("lblFile")->toPlainText(),
                 QString::fromStdString(Form().shownPaths.back()));
        QCOMPARE(Control<QCheckBox>("chkIncl")->isChecked(), photos);
        VerifyIdle();

        const std::vector<fs::path> runs = RunFolders(tree.Path("out"));
        QCOMPARE(runs.size(), std::size_t{1});
        const std::string report = test::ReadBytes(runs.front() / "Quorvia JPG Files.htm");
        QVERIFY(report.starts_with("<html><head><title>Possible Quorvia JPG files and ID's</title>"));
        QVERIFY(report.find("<hr>End of Report<br>\r\nTotal files found: 3<hr>\r\n</body></html>\r\n") !=
                std::string::npos);
        for (const char* name : {"n1234567_890_123[1].jpg", "1111_222_333_444_555_n[1].jpg",
                                 "n7654321_1_2[1].jpg"}) {
            QVERIFY2(report.find(name) != std::string::npos, name);
        }
        QVERIFY(report.find("holiday.jpg") == std::string::npos);
        QCOMPARE(CountFiles(runs.front(), ".jpg"), photos ? 3 : 0);
    }

    void profileModeScan() {
        TempTree tree;
        tree.Entries({{"Users/ana/cache/n1111111_1_2[1].jpg", kJpegBytes},
                      {"Documents and Settings/bob/n2222222_1_2[1].jpg", kJpegBytes},
                      {"Other/n3333333_1_2[1].jpg", kJpegBytes},
                      {"out/", ""}});
        std::string root = tree.RootText();
        root.pop_back();
        DriveEntry drive = MountEntry(QString::fromStdString(root), "EVIDENCE", "ext4");
        Form().LoadDrives({MountEntry("/", "", "ext4"), drive}, 1);
        services_->folderChoices = {tree.Text("out") + "/"};
        Click("cmdOut");

        Click("cmdSTART");

        QCOMPARE(services_->messages,
                 QStringList({QStringLiteral("Operation complete.\r\n\r\nTotal files found: 2")}));
        QCOMPARE(Form().shownPaths.size(), std::size_t{2});
        QVERIFY(Form().shownPaths[0].starts_with(root + "/Users/"));
        QVERIFY(Form().shownPaths[1].starts_with(root + "/Documents and Settings/"));
        VerifyIdle();
    }

    void secondStartMakesASecondFolder() {
        TempTree tree;
        tree.Entries({{"source/n1234567_890_123[1].jpg", kJpegBytes}, {"out/", ""}});
        int second = 0;
        ScanEnvironment environment;
        environment.localNow = [&] { return DateTime{2010, 3, 5, 9, 7, second++}; };
        Form().SetScanEnvironment(environment);
        ChooseFolders(tree.Text("source") + "/", tree.Text("out") + "/");
        Click("cmdSTART");
        Click("cmdSTART");
        QCOMPARE(services_->messages.size(), 2);
        std::vector<fs::path> runs = RunFolders(tree.Path("out"));
        std::sort(runs.begin(), runs.end());
        QCOMPARE(runs.size(), std::size_t{2});
        QCOMPARE(QString::fromStdString(runs[0].filename().string()),
                 QStringLiteral("Snapsift - Mar 05, 2010 - 090700"));
        QCOMPARE(QString::fromStdString(runs[1].filename().string()),
                 QStringLiteral("Snapsift - Mar 05, 2010 - 090701"));
    }

    void abortAnswered_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes") << true;
        QTest::newRow("No") << false;
    }
    void abortAnswered() {
        QFETCH(bool, yes);
        TempTree tree;
        MakePhotos(tree, "source", 20);
        tree.Folder("out");
        ChooseFolders(tree.Text("source") + "/", tree.Text("out") + "/");
        services_->answers = {yes};
        // ABORT is pressed through the event loop: posted during the third file's yield,
        // delivered during the fourth's.
        bool scanGoesOnWhileAsking = false;
        std::size_t shownWhenAsked = 0;
        Form().onYield = [&](std::size_t shown) {
            if (shown != 3) return;
            QTimer::singleShot(0, this, [&] {
                shownWhenAsked = Form().shownPaths.size();
                Click("cmdABORT");
                scanGoesOnWhileAsking = Form().shownPaths.size() != shownWhenAsked;
            });
        };

        Click("cmdSTART");

        QCOMPARE(services_->questions, QStringList({kAbortQuestion}));
        QVERIFY(shownWhenAsked == 4);
        QVERIFY(!scanGoesOnWhileAsking);
        const std::vector<fs::path> runs = RunFolders(tree.Path("out"));
        QCOMPARE(runs.size(), std::size_t{1});
        const std::string report = test::ReadBytes(runs.front() / "Quorvia JPG Files.htm");
        if (yes) {
            // The walk stops at its next check, after the file it was on.
            QCOMPARE(Form().shownPaths.size(), std::size_t{4});
            QCOMPARE(state_->FilesFound, 4);
            QCOMPARE(services_->messages,
                     QStringList({QStringLiteral("Operation aborted.\r\n\r\nTotal files found: 4")}));
            QVERIFY(state_->AbortRequested);
            QVERIFY(report.find("Operation was aborted before completion.<br>\r\nTotal files found: 4<hr>") !=
                    std::string::npos);
            QVERIFY(report.find("End of Report") == std::string::npos);
        } else {
            QCOMPARE(Form().shownPaths.size(), std::size_t{20});
            QCOMPARE(state_->FilesFound, 20);
            QCOMPARE(services_->messages,
                     QStringList({QStringLiteral("Operation complete.\r\n\r\nTotal files found: 20")}));
            QVERIFY(!state_->AbortRequested);
            QVERIFY(report.find("<hr>End of Report<br>") != std::string::npos);
        }
        VerifyIdle();
    }

    void closeRequestsDuringAndAfterAScan() {
        TempTree tree;
        MakePhotos(tree, "source", 6);
        tree.Folder("out");
        ChooseFolders(tree.Text("source") + "/", tree.Text("out") + "/");
        std::vector<bool> closedDuringScan;
        std::vector<bool> visibleAfterRequest;
        Form().onYield = [&](std::size_t shown) {
            if (shown == 1) closedDuringScan.push_back(Form().close());
            if (shown == 2) Trigger("mnuExit");
            if (shown <= 2) visibleAfterRequest.push_back(Form().isVisible());
        };

        Click("cmdSTART");

        QCOMPARE(closedDuringScan, std::vector<bool>({false}));
        QCOMPARE(visibleAfterRequest, std::vector<bool>({true, true}));
        // Refused silently, and the scan went on to its end.
        QCOMPARE(services_->messages,
                 QStringList({QStringLiteral("Operation complete.\r\n\r\nTotal files found: 6")}));
        QVERIFY(!state_->AbortRequested);

        Trigger("mnuExit");
        QVERIFY(!Form().isVisible());
        Form().show();
        QVERIFY(Form().close());
        QVERIFY(!Form().isVisible());
    }

    void aboutBoxDuringAScan() {
        TempTree tree;
        MakePhotos(tree, "source", 5);
        tree.Folder("out");
        ChooseFolders(tree.Text("source") + "/", tree.Text("out") + "/");
        std::vector<frmAbout*> boxes;
        Form().onYield = [&](std::size_t shown) {
            if (shown == 1 || shown == 2) {
                Trigger("mnuAbout");
                boxes.push_back(Form().AboutBox());
            }
        };

        Click("cmdSTART");

        QCOMPARE(boxes.size(), std::size_t{2});
        QVERIFY(boxes[0] != nullptr);
        QCOMPARE(boxes[1], boxes[0]);  // the same instance, shown again
        QCOMPARE(services_->messages,
                 QStringList({QStringLiteral("Operation complete.\r\n\r\nTotal files found: 5")}));
        frmAbout* about = Form().AboutBox();
        QVERIFY(about && about->isVisible());
        QVERIFY(!about->isModal());
        QCOMPARE(about->windowTitle(), QStringLiteral("About Snapsift"));

        // Its links go to the desktop's browser through the window's services.
        QTest::mouseClick(about->findChild<QWidget*>("Label2"), Qt::LeftButton);
        QCOMPARE(services_->openedUrls, std::vector<QUrl>({QUrl("https://snapsift.example.org")}));

        // Closing the main window leaves the About box open, a window of its own that
        // keeps the program running.
        QVERIFY(Form().close());
        QVERIFY(about->isVisible());
        QVERIFY(about->parentWidget() == nullptr);
        QVERIFY(about->testAttribute(Qt::WA_QuitOnClose));
        QVERIFY(!about->windowHandle()->transientParent());

        // Esc closes it; a later About... makes a new one.
        QTest::keyClick(about, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(Form().AboutBox() == nullptr);
        Trigger("mnuAbout");
        QVERIFY(Form().AboutBox() != nullptr && Form().AboutBox()->isVisible());
    }

    void realMessageBoxes() {
        SystemWindowServices system;
        ScanState state;
        Form1 window(state, system);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        struct Seen {
            QString title, text;
            QMessageBox::Icon icon = QMessageBox::Information;
            QStringList buttons;
            bool modal = false;
        };
        auto inspect = [](QMessageBox* box, Seen& seen) {
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.modal = box->isModal();
            for (QAbstractButton* button : box->buttons()) seen.buttons << button->text().remove('&');
        };

        Seen help;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            inspect(box, help);
            box->button(QMessageBox::Ok)->click();
        });
        QTest::mouseClick(window.findChild<QWidget*>("Command1"), Qt::LeftButton);
        QCOMPARE(help.title, QStringLiteral("Snapsift"));
        QCOMPARE(help.text, QString(kHelpText).replace("\r\n", "\n"));
        QCOMPARE(help.icon, QMessageBox::NoIcon);
        QCOMPARE(help.buttons, QStringList({"OK"}));
        QVERIFY(help.modal);

        for (const bool yes : {true, false}) {
            Seen question;
            WhenModal<QMessageBox>([&](QMessageBox* box) {
                inspect(box, question);
                box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
            });
            QCOMPARE(system.AskYesNo(&window, kAbortQuestion), yes);
            QCOMPARE(question.title, QStringLiteral("Snapsift"));
            QCOMPARE(question.text, kAbortQuestion);
            QCOMPARE(question.icon, QMessageBox::NoIcon);
            QCOMPARE(question.buttons, QStringList({"Yes", "No"}));
        }
    }

    void realFolderChooser() {
        TempTree tree;
        tree.Folder("Cases");
        SystemWindowServices system;
        QString title;
        WhenModal<QFileDialog>([&](QFileDialog* dialog) {
            title = dialog->windowTitle();
            dialog->setDirectory(QString::fromStdString(tree.Text("Cases")));
            static_cast<QDialog*>(dialog)->accept();
        });
        const std::string chosen = system.BrowseFolder("Choose a folder:", &Form());
        QCOMPARE(title, QStringLiteral("Choose a folder:"));
        QCOMPARE(QString::fromStdString(chosen), QString::fromStdString(tree.Text("Cases") + "/"));

        WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        QCOMPARE(QString::fromStdString(system.BrowseFolder("Choose a folder:", &Form())), QString());
    }
};

}  // namespace snapsift

QTEST_MAIN(snapsift::Form1Test)
#include "Form1Test.moc"
