// The event loop turn a scan takes per file: what every turn still delivers, and that the
// kernel poll really is taken only now and then.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <QtTest>
#include <unistd.h>

#include "app/Form1.h"
#include "app/PacedEventTurn.h"

namespace snapsift {

class PacedEventTurnTest : public QObject {
    Q_OBJECT

private slots:
    // A repaint, a deferred delete or a queued click posted before a turn is handled in that
    // turn, whether or not the turn polls.
    void postedEventsGoEveryTurn() {
        PacedEventTurn turn;
        int delivered = 0;
        for (int i = 1; i <= 200; ++i) {
            QMetaObject::invokeMethod(this, [&] { ++delivered; }, Qt::QueuedConnection);
            turn.Turn(i * 1000);
            QCOMPARE(delivered, i);
        }
    }

    // A readable pipe wakes its notifier at every poll: a thousand turns within the interval
    // poll once, turns that far apart poll every time, and so does a clock that went back.
    void pollIsPaced() {
        int fds[2];
        QCOMPARE(pipe(fds), 0);
        QCOMPARE(write(fds[1], "x", 1), 1);
        QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
        int polls = 0;
        connect(&notifier, &QSocketNotifier::activated, this, [&] { ++polls; });
        PacedEventTurn turn;
        const qint64 interval = PacedEventTurn::kPollIntervalNs;
        for (qint64 i = 0; i < 1000; ++i) turn.Turn(i * (interval / 1000));
        QCOMPARE(polls, 1);
        for (qint64 i = 1; i <= 5; ++i) turn.Turn(i * interval);
        QCOMPARE(polls, 6);
        turn.Turn(0);
        QCOMPARE(polls, 7);
        close(fds[0]);
        close(fds[1]);
    }

    // Timers fire during a long run of turns, and a loop that a handler runs inside a turn
    // (a message box) waits for its own events as usual.
    void timersAndNestedLoops() {
        PacedEventTurn turn;
        bool fired = false;
        QTimer::singleShot(5, this, [&] { fired = true; });
        QElapsedTimer clock;
        clock.start();
        while (!fired && clock.elapsed() < 5000) turn.Turn(clock.nsecsElapsed());
        QVERIFY(fired);

        const qint64 later = clock.nsecsElapsed() + 10 * PacedEventTurn::kPollIntervalNs;
        turn.Turn(later);  // polls
        qint64 waited = -1;
        QMetaObject::invokeMethod(
            this,
            [&] {
                QEventLoop box;
                QTimer::singleShot(30, &box, &QEventLoop::quit);
                QElapsedTimer held;
                held.start();
                box.exec();
                waited = held.elapsed();
            },
            Qt::QueuedConnection);
        turn.Turn(later + 1);  // no poll of its own
        QVERIFY2(waited >= 29, qPrintable(QString::number(waited)));
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
