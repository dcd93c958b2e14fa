// The event loop turn a scan takes per file, on a clock the test drives: what every turn
// delivers, which turns are full, and a message box opened inside a turn.
#include <QAbstractEventDispatcher>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QtTest>
#include <unistd.h>

#include "qt/PacedEventTurn.h"

namespace snapsift {

class PacedEventTurnTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qInfo() << "dispatcher:" << QAbstractEventDispatcher::instance()->metaObject()->className(); }

    // Per turn at the clock's reading: "F" when a readable pipe's notifier and a due timer woke,
    // "-" when neither did. Every turn runs the call posted before it ("!" when not).
    void fullTurns() {
        const struct { const char* name; QList<qint64> clock; QString full; } rows[] = {
            {"within the first interval", {0, 1, 1'000'000, 1'999'999}, "F---"},
            {"one interval apart", {0, 2'000'000, 4'000'000}, "FFF"},
            {"counted from the last full turn", {0, 1'500'000, 2'500'000, 4'000'000, 4'500'000}, "F-F-F"},
            {"clock went back", {7'000'000, 6'999'999, 7'000'000, 1}, "FF-F"}};
        int fds[2], wakes = 0, timeouts = 0, calls = 0;
        QCOMPARE(pipe(fds), 0);
        QCOMPARE(write(fds[1], "x", 1), 1);
        QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
        QTimer due;
        connect(&notifier, &QSocketNotifier::activated, this, [&] { ++wakes; });
        connect(&due, &QTimer::timeout, this, [&] { ++timeouts; });
        due.start(0);
        QString got, expected;
        for (const auto& row : rows) {
            PacedEventTurn turn;
            got += QString("\n%1: ").arg(row.name);
            expected += QString("\n%1: %2").arg(row.name, row.full);
            for (const qint64 now : row.clock) {
                wakes = timeouts = calls = 0;
                QMetaObject::invokeMethod(this, [&] { ++calls; }, Qt::QueuedConnection);
                turn.Turn(now);
                got += calls != 1 ? u'!' : wakes && timeouts ? u'F' : wakes || timeouts ? u'?' : u'-';
            }
        }
        notifier.setEnabled(false);
        close(fds[0]);
        close(fds[1]);
        QCOMPARE(got, expected);
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

QTEST_MAIN(snapsift::PacedEventTurnTest)
#include "PacedEventTurnTest.moc"
