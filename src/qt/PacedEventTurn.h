// One turn of the event loop per call, cheap enough for a scan to take once per file.
#pragma once

#include <QMetaObject>
#include <QPointer>
#include <limits>

class QAbstractEventDispatcher;

namespace snapsift {

// Every turn sends the posted events (repaints, deferred deletes, queued calls) and the input
// the window system has queued. Only the kernel poll for timers, sockets and wake-ups, which
// costs several times the rest of a turn, is taken at most once per kPollIntervalNs; the turns
// in between leave it out (on Qt's Unix event dispatchers; on others every turn is whole).
// Make it on the thread whose loop it turns.
class PacedEventTurn {
public:
    static constexpr qint64 kPollIntervalNs = 2'000'000;

    PacedEventTurn();
    ~PacedEventTurn();
    PacedEventTurn(const PacedEventTurn&) = delete;
    PacedEventTurn& operator=(const PacedEventTurn&) = delete;

    // QCoreApplication::processEvents() once. nowNs is the caller's steady clock in
    // nanoseconds, read once per file for all the pacing of the window.
    void Turn(qint64 nowNs);

private:
    QPointer<QAbstractEventDispatcher> dispatcher_;
    QMetaObject::Connection awake_;
    qint64 lastPollNs_ = std::numeric_limits<qint64>::min() / 2;  // long ago
    bool skipPoll_ = false;
};

}  // namespace snapsift
