// The event loop turn a scan takes per file, on a clock the test drives: what every turn
// delivers, which turns are full, and a message box opened inside a turn.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QtTest>
#include <unistd.h>

#include "qt/PacedEventTurn.h"

namespace snapsift {

class PacedEventTurnTest : public QObject {
    Q_OBJECT

private slots:
    // Many turns inside one interval, all but the first without the full turn: each runs the
    // call queued before it.
    void queuedCallEveryTurn() {
        PacedEventTurn turn;
        int calls = 0, late = 0;
        for (int i = 0; i < 500; ++i) {
            QMetaObject::invokeMethod(this, [&] { ++calls; }, Qt::QueuedConnection);
            turn.Turn(i * 1000);
            if (calls != i + 1) ++late;
        }
        QCOMPARE(late, 0);
    }

    // A readable pipe wakes its notifier in every full turn ("F") and in no other ("-").
    void fullTurns() {
        struct Row { const char* name; QList<qint64> clock; QString full; };
        const Row rows[] = {
            {"within the first interval", {0, 1, 1'000'000, 1'999'999}, "F---"},
            {"one interval apart", {0, 2'000'000, 4'000'000}, "FFF"},
            {"counted from the last full turn", {0, 1'500'000, 2'500'000, 4'000'000, 4'500'000}, "F-F-F"},
            {"clock went back", {7'000'000, 6'999'999, 7'000'000, 1}, "FF-F"}};
        int fds[2];
        QCOMPARE(pipe(fds), 0);
        QCOMPARE(write(fds[1], "x", 1), 1);
        QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
        int wakes = 0;
        connect(&notifier, &QSocketNotifier::activated, this, [&] { ++wakes; });
        QStringList got, expected;
        for (const Row& row : rows) {
            PacedEventTurn turn;
            QString full;
            for (const qint64 now : row.clock) {
                const int before = wakes;
                turn.Turn(now);
                full += wakes == before ? u'-' : u'F';
            }
            got << row.name + (": " + full);
            expected << row.name + (": " + row.full);
        }
        notifier.setEnabled(false);
        close(fds[0]);
        close(fds[1]);
        QCOMPARE(got, expected);
    }

    // A timer that is due waits for the next full turn.
    void dueTimerWaitsForFullTurn() {
        PacedEventTurn turn;
        turn.Turn(0);
        bool fired = false;
        QTimer::singleShot(1, this, [&] { fired = true; });
        QTest::qSleep(10);
        turn.Turn(1'999'999);
        QVERIFY(!fired);
        turn.Turn(2'000'000);
        QVERIFY(fired);
    }

    // A turn without the full poll runs a handler that asks Yes or No: the box's own loop waits
    // for input as usual, and the click its timer makes ends it.
    void messageBoxInsideTurn() {
        PacedEventTurn turn;
        turn.Turn(0);
        int answer = 0;
        QMetaObject::invokeMethod(
            this,
            [&] {
                QMessageBox box(QMessageBox::NoIcon, "Snapsift", "Are you sure you want to cancel this operation?",
                                QMessageBox::Yes | QMessageBox::No);
                QTimer::singleShot(20, &box, [&box] { box.button(QMessageBox::Yes)->click(); });
                answer = box.exec();
            },
            Qt::QueuedConnection);
        turn.Turn(1);
        QCOMPARE(answer, int(QMessageBox::Yes));
    }
};

}  // namespace snapsift

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    qInfo("event dispatcher: %s", QAbstractEventDispatcher::instance()->metaObject()->className());
    snapsift::PacedEventTurnTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "PacedEventTurnTest.moc"
