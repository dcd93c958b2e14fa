// The main window as Qt draws it, under the offscreen platform: each control's place in twips,
// text, font and first look, the tab order, Enter on a button, a grown window kept on its screen,
// the real chooser and message box, the widgets reaching the logic, and the About box.
#include <QTest>
#include <QtWidgets>

#include "qt/DriveCombo.h"
#include "qt/Form1.h"
#include "qt/WindowServices.h"
#include "qt/frmAbout.h"

namespace snapsift {

// What the window asked of the desktop; the chooser is always cancelled.
struct FakeServices : WindowServices {
    QStringList starts, messages;
    std::vector<QUrl> urls;
    std::string BrowseFolder(std::string_view, const std::string& at, QWidget*) override {
        starts << at.c_str();
        return "";
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

class Form1Test : public QObject {
    Q_OBJECT

    ScanState state_;
    FakeServices services_;
    SystemWindowServices system_;
    std::unique_ptr<Form1> form_;

    QWidget* Control(const char* name) const { return form_->findChild<QWidget*>(name); }
    void Click(const char* name) { QTest::mouseClick(Control(name), Qt::LeftButton); }
    void Trigger(const char* name) { form_->findChild<QAction*>(name)->trigger(); }

    void NewForm(WindowServices& services) {
        form_.reset();  // before what it refers to
        state_ = {};
        services_ = {};
        form_ = std::make_unique<Form1>(state_, services);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }

private slots:
    void initTestCase() {
        QApplication::setAttribute(Qt::AA_Use96Dpi);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void init() { NewForm(services_); }

    // Place in twips, text, font (0 points: fitted to the label's box) and first look of each control.
    void controls() {
        const struct { const char* name; QString text; int x, y, w, h; double points; bool bold, shown; } rows[] = {
            {"Command1", "?", 6480, 1275, 375, 375, 9.75, true, true},
            {"chkPro", "Only Search User Profile Folders On Selected Drive", 4200, 1200, 2175, 495, 8.25, false, true},
            {"Drive1", "", 480, 1800, 5055, 360, 9.75, false, true},
            {"txtOut", "", 120, 3240, 5415, 375, 8.25, false, true},
            {"txtSource", "", 480, 1800, 5055, 375, 8.25, false, false},
            {"chkIncl", "Include photos in report", 4680, 4155, 2055, 255, 8.25, false, true},
            {"cmdABORT", "ABORT", 2160, 3960, 2295, 615, 12, true, false},
            {"Frame1", "", 0, 4680, 6975, 1575, 8.25, false, false},
            {"lblFile", "", 120, 480, 6735, 975, 9.75, false, true},
            {"Label7", "Scanning:", 120, 160, 855, 255, 8.25, true, true},
            {"cmdSTART", "START", 2160, 3960, 2295, 615, 12, true, true},
            {"cmdOut", "Browse", 5640, 3240, 1215, 375, 8.25, false, true},
            {"chkSubs", "Search subfolders", 2880, 1200, 1095, 495, 8.25, false, false},
            {"cmdSource", "Browse", 5640, 1800, 1215, 375, 8.25, false, false},
            {"Label4", "(an HTML report file called 'Quorvia JPG Files.htm' will be saved to this folder, "
                       "along with copies of all the located image files)", 2400, 2520, 3735, 735, 8.25, false, true},
            {"Label5", "Select an output folder:", 120, 2880, 2175, 255, 8.25, true, true},
            {"Label3", "Select a source:", 120, 1440, 1455, 255, 0, true, true},
            {"Label2", "Copyright (c) 2026 Snapsift Developers", 240, 615, 6495, 375, 0, true, true},
            {"Label1", "Snapsift v" SNAPSIFT_VERSION, 240, 75, 6495, 495, 0, true, true}};
        for (const auto& row : rows) {
            const QWidget* c = Control(row.name);
            QVERIFY2(TextOf(c) == row.text && c->geometry() == FromTwips(row.x, row.y, row.w, row.h) &&
                     c->isVisibleTo(c->parentWidget()) == row.shown && c->isEnabled() && c->font().bold() == row.bold &&
                     (row.points == 0 || c->font().pointSizeF() == row.points), row.name);
        }
        for (auto box : {"chkPro", "chkSubs", "chkIncl"}) QVERIFY2(Control(box)->property("checked").toBool(), box);
        QCOMPARE(Control("cmdSTART")->font().family(), Control("Label1")->font().family());  // the titles' face
        QVERIFY(Control("cmdSTART")->font().family() != Control("cmdOut")->font().family());
        QVERIFY(form_->windowTitle() == "Snapsift" && form_->minimumSize() == form_->maximumSize());
        QCOMPARE(form_->centralWidget()->size(), FromTwips(0, 0, 6990, 4770).size());
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
        Click("cmdSTART");  // nothing chosen: no scan
        state_.OutputFolder = QDir::tempPath().toStdString() + "/";
        WhenModal<QFileDialog>([&](QFileDialog* d) {
            seen << d->windowTitle() << d->directory().path();
            d->setDirectory(QDir::root());
            d->QDialog::accept();
        });
        Click("cmdOut");
        QCOMPARE(seen, QStringList({"Snapsift", "Please choose an output folder.", "0", "OK", "Choose a folder:",
                                    QDir::tempPath()}));
        QCOMPARE(TextOf(Control("txtOut")), "/");
    }

    // Clicks, and Enter or Return on the focused button, reach the logic; its CR LF line breaks
    // reach the box as LF; the logic reads the drive list's selection and has the say on closing.
    void widgetsReachTheLogic() {
        Click("chkPro");
        QVERIFY(Control("txtSource")->isVisible() && !Control("Drive1")->isVisible());
        Click("cmdSTART");
        for (const auto& [button, key] : {std::pair("Command1", Qt::Key_Return), std::pair("cmdOut", Qt::Key_Enter)}) {
            Control(button)->setFocus();
            QTest::keyClick(Control(button), key);
        }
        QCOMPARE(services_.starts, QStringList({""}));
        QCOMPARE(services_.messages.size(), 2);
        QCOMPARE(services_.messages.value(0), "Please choose a folder to search.");
        QVERIFY(services_.messages.value(1).contains("Internet Files.\n\nIf \"Only"));
        auto* drives = form_->findChild<DriveCombo*>("Drive1");
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
        Trigger("mnuAbout");
        frmAbout* about = form_->AboutBox();
        QVERIFY(about && about->isVisible() && !about->isModal() && about->windowTitle() == "About Snapsift");
        Trigger("mnuAbout");
        QCOMPARE(form_->AboutBox(), about);
        for (const char* label : {"Label1", "Label2", "lblDescription"})
            QTest::mouseClick(about->findChild<QWidget*>(label), Qt::LeftButton);
        QCOMPARE(services_.urls, std::vector<QUrl>(2, QUrl("https://snapsift.example.org")));
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

QTEST_MAIN(snapsift::Form1Test)
#include "Form1Test.moc"
