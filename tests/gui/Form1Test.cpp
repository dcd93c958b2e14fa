// The main window as Qt draws it, under the offscreen platform: each control's place in twips,
// fonts, tab order, Enter on a button, a grown window kept on its screen, the real chooser and
// message box, a scan through the widgets and the About box.
#include <QTest>
#include <QtWidgets>

#include "qt/DriveCombo.h"
#include "qt/Form1.h"
#include "qt/WindowServices.h"
#include "qt/frmAbout.h"
#include "support/TempTree.h"

namespace snapsift {

namespace fs = std::filesystem;

// Scripted chooser and Yes/No answers ("" and No once they run out), and a log of what was asked.
struct FakeServices : WindowServices {
    QList<std::string> chosen;
    QList<bool> answers;
    QStringList messages, questions, starts;
    std::vector<QUrl> urls;
    std::string BrowseFolder(std::string_view, const std::string& start, QWidget*) override {
        starts << QString::fromStdString(start);
        return chosen.isEmpty() ? "" : chosen.takeFirst();
    }
    void ShowMessage(QWidget*, const QString& text) override { messages << text; }
    bool AskYesNo(QWidget*, const QString& text) override { return answers.value((questions << text).size() - 1); }
    void OpenUrl(const QUrl& url) override { urls.push_back(url); }
};

// The main window with a hook inside every event-loop turn of a scan.
struct ObservedForm : Form1 {
    using Form1::Form1;
    int turns = 0;
    std::function<void(int)> onTurn = [](int) {};
    void Turn(std::int64_t nowNs) override { Form1::Turn(nowNs), onTurn(++turns); }
};

// Pixels of a rectangle in twips, each edge rounded on its own so that touching controls touch.
// The tests run at 96 dots per inch: 15 twips a pixel.
QRect FromTwips(const QRect& t) {
    const auto at = [](int x, int y) { return QPoint(qRound(x / 15.0), qRound(y / 15.0)); };
    return QRect(at(t.x(), t.y()), at(t.x() + t.width(), t.y() + t.height()) - QPoint(1, 1));
}

QString TextOf(const QWidget* c) { return c->property("text").toString() + c->property("plainText").toString(); }

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
            {"Label1", "Snapsift v" SNAPSIFT_VERSION, 240, 75, 6495, 495},
            {"Label2", "Copyright (c) 2026 Snapsift Developers", 240, 615, 6495, 375}};
        const QStringList hidden = {"txtSource", "Frame1", "cmdABORT", "chkSubs", "cmdSource"};
        for (const Row& row : rows) {
            const QWidget* c = Control(row.name);
            QVERIFY2(TextOf(c) == row.text && c->geometry() == FromTwips({row.x, row.y, row.width, row.height}) &&
                     c->isVisibleTo(c->parentWidget()) != hidden.contains(row.name) && c->isEnabled(), row.name);
        }
        for (const char* box : {"chkPro", "chkSubs", "chkIncl"}) QVERIFY2(Control(box)->property("checked").toBool(), box);
        QVERIFY(form_->windowTitle() == "Snapsift" && form_->minimumSize() == form_->maximumSize());
        QCOMPARE(form_->centralWidget()->size(), FromTwips({0, 0, 6990, 4770}).size());
    }

    void tabOrder() {
        const QStringList tabOrder = {"cmdSource", "chkSubs", "cmdOut", "cmdSTART", "cmdABORT", "chkIncl",
                                      "txtSource", "txtOut", "Drive1", "chkPro", "Command1", "lblFile"};
        QStringList chain;  // one turn of the focus chain
        QWidget* w = Control("cmdSource");
        do if (tabOrder.contains(w->objectName()) && (w->focusPolicy() & Qt::TabFocus)) chain << w->objectName();
        while ((w = w->nextInFocusChain()) != Control("cmdSource"));
        QCOMPARE(chain, tabOrder);
    }

    void selectedDriveReachesTheLogic() {
        auto* drives = form_->findChild<DriveCombo*>("Drive1");
        drives->SetSource([] { return std::vector{MountEntry("/", "", "ext4"), MountEntry("/media/b", "B", "vfat")}; });
        drives->setCurrentIndex(1);
        QCOMPARE(QString::fromStdString(form_->Logic().SelectedDriveRoot()), QString("/media/b"));
    }

    // Point sizes as designed where the text fits; bold where designed.
    void fonts() {
        struct Row { const char* name; double points; bool bold; };
        const Row rows[] = {{"Command1", 9.75, true}, {"Drive1", 9.75, false}, {"lblFile", 9.75, false},
                            {"cmdSTART", 12, true}, {"cmdABORT", 12, true}, {"txtOut", 8.25, false},
                            {"chkPro", 8.25, false}, {"cmdOut", 8.25, false}, {"Label7", 8.25, true},
                            {"Label5", 8.25, true}, {"Label4", 8.25, false}};
        for (const Row& row : rows) {
            const QFont font = Control(row.name)->font();
            QVERIFY2(font.pointSizeF() == row.points && font.bold() == row.bold, row.name);
        }
        QCOMPARE(Control("cmdSTART")->font().family(), Control("Label1")->font().family());
        QVERIFY(Control("cmdSTART")->font().family() != Control("cmdOut")->font().family());
    }

    void enterPressesTheFocusedButton() {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            NewForm();
            Control("cmdOut")->setFocus();
            QTest::keyClick(Control("cmdOut"), key);
            Control("Command1")->setFocus();
            QTest::keyClick(Control("Command1"), key);
            QCOMPARE(services_->starts.size(), 1);
            QCOMPARE(services_->messages.size(), 1);
        }
    }

    // The running look's extra 1500 twips never push the window below the screen's work area.
    void grownWindowStaysOnTheScreen() {
        const QRect available = form_->screen()->availableGeometry();
        const int grownHeight = form_->frameGeometry().height() + FromTwips({0, 0, 0, 1500}).height();
        struct Row { const char* why; int top, expectedTop; };
        const Row rows[] = {{"room below", available.top(), available.top()},
                            {"at the bottom", available.bottom() + 1 - form_->frameGeometry().height(),
                             available.bottom() + 1 - grownHeight}};
        for (const Row& row : rows) {
            form_->SetClientHeight(4770);
            form_->move(available.left() + 40, row.top);
            form_->SetClientHeight(6270);
            QVERIFY2(form_->frameGeometry() == QRect(available.left() + 40, row.expectedTop,
                                                      form_->frameGeometry().width(), grownHeight), row.why);
        }
    }

    // The real folder chooser behind both Browse buttons, each opening at its own last choice, and
    // the real message box of the help.
    void realChooserAndMessageBox() {
        test::TempTree tree;
        tree.Entries({{"a/", ""}, {"b/", ""}});
        const QString a = QString::fromStdString(tree.Text("a") + "/"), b = QString::fromStdString(tree.Text("b") + "/");
        NewForm(true);
        Click("chkPro");
        QStringList seen;
        for (const auto& [button, folder] : {std::pair("cmdSource", a), std::pair("cmdOut", b)}) {
            WhenModal<QFileDialog>([&, folder](QFileDialog* d) {
                seen << d->windowTitle(), d->setDirectory(folder), d->QDialog::accept(); });
            Click(button);
        }
        for (const char* button : {"cmdSource", "cmdOut"}) {
            WhenModal<QFileDialog>([&](QFileDialog* d) { seen << d->directory().path() + "/", d->reject(); });
            Click(button);
        }
        QCOMPARE(seen, QStringList({"Choose a folder:", "Choose a folder:", a, b}));
        QVERIFY(state_->SourceFolder == a.toStdString() && state_->OutputFolder == b.toStdString());
        QCOMPARE(QStringList({TextOf(Control("txtSource")), TextOf(Control("txtOut"))}), QStringList({a, b}));
        seen.clear();
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

    // A scan started and aborted with the widgets: the running look on screen, close requests
    // refused until the final message is acknowledged, the path shown in lblFile.
    void scanThroughTheWidgets() {
        test::TempTree tree;
        for (int i = 0; i < 20; ++i) tree.File("source/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", "\xFF\xD8");
        tree.Folder("out");
        services_->chosen = {tree.Text("source") + "/", tree.Text("out") + "/"};
        services_->answers = {true};
        for (const char* name : {"chkPro", "cmdSource", "cmdOut"}) Click(name);
        QStringList faults = {"never turned"};
        form_->onTurn = [&](int turn) {
            if (turn == 1) faults = LookFaults(true), faults << (form_->close() ? "closed" : "");
            if (turn == 2) Trigger("mnuExit");
            if (turn == 3) Click("cmdABORT");
        };
        Click("cmdSTART");
        QCOMPARE(faults, QStringList({""}));
        QVERIFY(form_->isVisible());
        QCOMPARE(services_->messages, QStringList({"Operation aborted.\n\nTotal files found: 3"}));
        QCOMPARE(LookFaults(false), QStringList());
        const QString shown = TextOf(Control("lblFile"));
        QVERIFY2(shown.startsWith(QString::fromStdString(tree.Text("source/n"))) && fs::exists(shown.toStdString()),
                 qPrintable(shown));
        Trigger("mnuExit");
        QVERIFY(!form_->isVisible());
    }

    // Modeless, its texts and links; it outlives the main window and closes with Esc or Enter.
    void aboutBox() {
        Trigger("mnuAbout");
        frmAbout* about = form_->AboutBox();
        QVERIFY(about && about->isVisible() && !about->isModal() && about->windowTitle() == "About Snapsift");
        Trigger("mnuAbout");
        QCOMPARE(form_->AboutBox(), about);
        for (const char* label : {"Label1", "Label2", "lblDescription"})
            QTest::mouseClick(about->findChild<QWidget*>(label), Qt::LeftButton);
        QCOMPARE(services_->urls, std::vector<QUrl>(2, QUrl("https://snapsift.example.org")));
        const std::pair<const char*, QString> texts[] = {
            {"lblTitle", "Snapsift"}, {"lblVersion", "Version " SNAPSIFT_VERSION},
            {"lblDescription", "Searches for possible Quorvia JPG image files and creates an HTML report with the "
                               "file names, modified/accessed/created times, MD5 hash, Quorvia ID number, and the "
                               "image itself."},
            {"lblDisclaimer", "Legal disclaimer: This program is provided free of charge and comes with no "
                              "guarantee or warranty whatsoever. All liability and risk is assumed by the user."}};
        for (const auto& [name, text] : texts) QCOMPARE(TextOf(about->findChild<QWidget*>(name)), text);
        Trigger("mnuExit");
        QVERIFY(!form_->isVisible() && about->isVisible());
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
            QTest::keyClick(form_->AboutBox()->findChild<QWidget*>("lblDescription"), key);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY2(!form_->AboutBox(), "still open");
            Trigger("mnuAbout");
        }
    }
};

}  // namespace snapsift

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    application.setAttribute(Qt::AA_Use96Dpi, true);
    snapsift::Form1Test test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "Form1Test.moc"
