#include "qt/PacedEventTurn.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

namespace snapsift {

// Qt's Unix dispatchers (the offscreen and xcb ones among them) announce each turn with
// awake() before they send the posted events, clear interrupt() at that point, and leave out
// their poll when it was called since. The flag is taken down at once, so a loop that a
// handler of this turn runs (a message box) waits as usual. Other dispatchers keep every turn
// whole: GLib's polls all the same and takes each interrupt() as a wake-up write, and
// Windows' may keep an interrupt() over to the next turn, which would then skip its pump.
PacedEventTurn::PacedEventTurn() : dispatcher_(QAbstractEventDispatcher::instance()) {
    if (!dispatcher_ || !dispatcher_->inherits("QEventDispatcherUNIX")) return;
    awake_ = QObject::connect(
        dispatcher_.data(), &QAbstractEventDispatcher::awake, dispatcher_.data(),
        [this] {
            if (!skipPoll_) return;
            skipPoll_ = false;
            dispatcher_->interrupt();
        },
        Qt::DirectConnection);
}

PacedEventTurn::~PacedEventTurn() { QObject::disconnect(awake_); }

void PacedEventTurn::Turn(qint64 nowNs) {
    const bool poll = nowNs - lastPollNs_ >= kPollIntervalNs || nowNs < lastPollNs_;
    if (poll) lastPollNs_ = nowNs;
    skipPoll_ = !poll && awake_;
    QCoreApplication::processEvents();
    skipPoll_ = false;
}

}  // namespace snapsift
