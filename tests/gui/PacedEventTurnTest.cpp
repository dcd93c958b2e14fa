// The event loop turn a scan takes per file: what every turn still delivers, and that the
// kernel poll is taken only once per interval, on a clock the test drives.
#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <QtTest>
#include <unistd.h>

#include "qt/Form1.h"
#include "qt/PacedEventTurn.h"

namespace snapsift {

class PacedEventTurnTest : public QObject {
    Q_OBJECT

private slots:
    // A readable pipe wakes its notifier at every poll. Posted calls go in every turn; the
    // poll, and with it a timer that is due, only in the first turn of each interval and
    // after the clock went back.
    void pollsOncePerInterval() {
        int fds[2];
        QCOMPARE(pipe(fds), 0);
        QCOMPARE(write(fds[1], "x", 1), 1);
        QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
        int polls = 0, posted = 0;
        connect(&notifier, &QSocketNotifier::activated, this, [&] { ++polls; });
        PacedEventTurn turn;
        const qint64 interval = PacedEventTurn::kPollIntervalNs;
        for (qint64 i = 0; i < 1000; ++i) {
            QMetaObject::invokeMethod(this, [&] { ++posted; }, Qt::QueuedConnection);
            turn.Turn(i * (interval / 1000));
        }
        QCOMPARE(std::pair(polls, posted), std::pair(1, 1000));

        bool fired = false;
        QTimer::singleShot(1, this, [&] { fired = true; });
        QTest::qSleep(3);
        turn.Turn(interval - 1);
        QVERIFY(!fired);
        for (const qint64 now : {interval, 2 * interval, qint64(0)}) turn.Turn(now);
        QCOMPARE(std::pair(polls, fired), std::pair(4, true));
        close(fds[0]);
        close(fds[1]);
    }

    // A loop that a handler runs inside a turn without a poll (a message box) still polls,
    // and so ends when its timer fires.
    void nestedLoopWaitsAsUsual() {
        PacedEventTurn turn;
        turn.Turn(0);
        bool ended = false;
        QMetaObject::invokeMethod(
            this,
            [&] {
                QEventLoop box;
                QTimer::singleShot(20, &box, &QEventLoop::quit);
                box.exec();
                ended = true;
            },
            Qt::QueuedConnection);
        turn.Turn(1);
        QVERIFY(ended);
    }
};

}  // namespace snapsift

int main(int argc, char* argv[]) {
    snapsift::UseLeanEventDispatcher();
    QApplication application(argc, argv);
    snapsift::PacedEventTurnTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "PacedEventTurnTest.moc"
