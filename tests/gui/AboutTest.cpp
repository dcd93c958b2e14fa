// The About box on its own: its texts, geometry and fonts, the two links to the maker's page,
// the etched rule, and closing it with OK, Enter or Esc.
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "FontCheck.h"
#include "about/frmAbout.h"
#include "app/FormMetrics.h"

namespace snapsift {

namespace {

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

QRect FromTwips(const QWidget& widget, int left, int top, int width, int height) {
    auto x = [&](int twips) { return qRound(twips * widget.logicalDpiX() / 1440.0); };
    auto y = [&](int twips) { return qRound(twips * widget.logicalDpiY() / 1440.0); };
    return QRect(x(left), y(top), x(left + width) - x(left), y(top + height) - y(top));
}

}  // namespace

class AboutTest : public QObject {
    Q_OBJECT

private:
    std::vector<QUrl> opened_;
    QPointer<frmAbout> about_;

    frmAbout& About() { return *about_; }
    template <typename T = QWidget>
    T* Child(const char* name) {
        T* child = about_->findChild<T*>(QString::fromLatin1(name));
        if (!child) qFatal("no control %s", name);
        return child;
    }

private slots:
    void init() {
        opened_.clear();
        about_ = new frmAbout([this](const QUrl& url) { opened_.push_back(url); });
        about_->ShowFor(nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(about_));
    }
    void cleanup() {
        delete about_.data();
        DeleteClosed();
    }

    void texts() {
        QCOMPARE(About().windowTitle(), QStringLiteral("About Snapsift"));
        QCOMPARE(Child<QLabel>("lblTitle")->text(), QStringLiteral("Snapsift"));
        QCOMPARE(Child<QLabel>("lblVersion")->text(), QStringLiteral("Version 1.2.0"));
        QCOMPARE(Child<QLabel>("lblDescription")->text(),
                 QStringLiteral("Searches for possible Quorvia JPG image files and creates an HTML "
                                "report with the file names, modified/accessed/created times, MD5 "
                                "hash, Quorvia ID number, and the image itself."));
        QCOMPARE(Child<QLabel>("lblDisclaimer")->text(),
                 QStringLiteral("Legal disclaimer: This program is provided free of charge and "
                                "comes with no guarantee or warranty whatsoever. All liability and "
                                "risk is assumed by the user."));
        QCOMPARE(Child<QLabel>("Label1")->text(),
                 QStringLiteral("Copyright (c) 2026 Snapsift Developers"));
        QCOMPARE(Child<QLabel>("Label2")->text(), QStringLiteral("https://snapsift.example.org"));
        auto* ok = Child<QPushButton>("cmdOK");
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QVERIFY(ok->isDefault());
        QVERIFY(!About().isModal());
        QVERIFY(!About().windowIcon().isNull());
        QCOMPARE(Child<QLabel>("picIcon")->pixmap().size(), QSize(48, 48));
    }

    void geometry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("picIcon") << "picIcon" << QRect(120, 120, 780, 780);
        QTest::newRow("lblTitle") << "lblTitle" << QRect(1170, 120, 3885, 360);
        QTest::newRow("lblVersion") << "lblVersion" << QRect(1170, 360, 3885, 345);
        QTest::newRow("Label1") << "Label1" << QRect(1440, 720, 4005, 315);
        QTest::newRow("Label2") << "Label2" << QRect(1440, 960, 2925, 255);
        QTest::newRow("lblDescription") << "lblDescription" << QRect(1050, 1440, 4005, 1290);
        QTest::newRow("lblDisclaimer") << "lblDisclaimer" << QRect(120, 3000, 3870, 705);
        QTest::newRow("cmdOK") << "cmdOK" << QRect(4320, 3360, 1260, 345);
    }
    void geometry() {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        QWidget* control = Child(name.toLatin1().constData());
        QCOMPARE(control->geometry(),
                 FromTwips(About(), twips.x(), twips.y(), twips.width(), twips.height()));
    }
    void clientArea() {
        QCOMPARE(About().size(), FromTwips(About(), 0, 0, 5730, 3825).size());
        QCOMPARE(About().minimumSize(), About().maximumSize());
    }

    void fonts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        QTest::newRow("lblTitle") << "lblTitle" << 12.0 << true;
        QTest::newRow("lblVersion") << "lblVersion" << 12.0 << true;
        QTest::newRow("Label1") << "Label1" << 9.75 << true;
        QTest::newRow("Label2") << "Label2" << 9.75 << true;
        QTest::newRow("lblDescription") << "lblDescription" << 9.75 << false;
        QTest::newRow("lblDisclaimer") << "lblDisclaimer" << 8.25 << false;
        QTest::newRow("cmdOK") << "cmdOK" << 8.25 << false;
    }
    void fonts() {
        QFETCH(QString, name);
        QFETCH(double, points);
        QFETCH(bool, bold);
        QCOMPARE(test::FontFault(*Child(name.toLatin1().constData()), points, bold), QString());
    }
    void labelsFitTheirBoxes() {
        for (QLabel* label : About().findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) QVERIFY2(test::TextFits(*label, label->font()), qPrintable(label->objectName()));
        }
    }

    void linksOpenTheMakersPage_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("copyright line") << "Label1";
        QTest::newRow("web address") << "Label2";
    }
    void linksOpenTheMakersPage() {
        QFETCH(QString, name);
        QWidget* link = Child(name.toLatin1().constData());
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(opened_.size(), std::size_t{1});
        QCOMPARE(opened_.front(), QUrl(QStringLiteral("https://snapsift.example.org")));
        // A press that is dragged off the label before release opens nothing.
        QTest::mousePress(link, Qt::LeftButton);
        QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-5, -5));
        QCOMPARE(opened_.size(), std::size_t{1});
        QVERIFY(About().isVisible());
    }
    void otherLabelsAreNotLinks() {
        QCOMPARE(Child("lblDescription")->cursor().shape(), Qt::ArrowCursor);
        QTest::mouseClick(Child("lblDescription"), Qt::LeftButton);
        QVERIFY(opened_.empty());
    }

    void closesWith_data() {
        QTest::addColumn<int>("key");  // 0: a click on OK
        QTest::newRow("OK") << 0;
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
    }
    void closesWith() {
        QFETCH(int, key);
        if (key == 0) {
            QTest::mouseClick(Child("cmdOK"), Qt::LeftButton);
        } else {
            // Pressed on the dialog itself, not on the button that has the focus.
            QTest::keyClick(Child("lblDescription"), static_cast<Qt::Key>(key));
        }
        QVERIFY(!about_ || !about_->isVisible());
        DeleteClosed();
        QVERIFY(about_.isNull());  // unloaded: the next About... makes a new one
    }

    void etchedRule() {
        QWidget* rule = Child("Line1");
        const QImage image = rule->grab().toImage();
        QCOMPARE(rule->height(), 2);
        QCOMPARE(rule->x(), qRound(90 * About().logicalDpiX() / 1440.0));
        QCOMPARE(rule->y(), qRound(2760 * About().logicalDpiY() / 1440.0));
        const int middle = image.width() / 2;
        QCOMPARE(image.pixelColor(middle, 0), QColor(0x80, 0x80, 0x80));
        QCOMPARE(image.pixelColor(middle, 1), QColor(Qt::white));
    }

    void onlyOkTakesTheFocus() {
        QStringList stops;
        for (QWidget* child : About().findChildren<QWidget*>()) {
            if (child->focusPolicy() & Qt::TabFocus) stops << child->objectName();
        }
        QCOMPARE(stops, QStringList({"cmdOK"}));
        QVERIFY(Child("cmdOK")->hasFocus());
        QTest::keyClick(&About(), Qt::Key_Tab);
        QVERIFY(Child("cmdOK")->hasFocus());
    }
};

}  // namespace snapsift

QTEST_MAIN(snapsift::AboutTest)
#include "AboutTest.moc"
