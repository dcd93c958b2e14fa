// One turn of the event loop per call, cheap enough for a scan to take once per file.
#pragma once

#include <QtGlobal>

#include "window/TurnPacer.h"

namespace snapsift {

// Every turn sends the posted events: repaints, layout requests, queued calls, and the
// deferred deletes that are due. A full turn, QCoreApplication::processEvents() (window-system
// input, timers, socket notifiers, all behind one kernel poll that costs several times the
// rest), is taken only when the TurnPacer has one due. Only public calls of QCoreApplication
// are used, so it behaves the same on every event dispatcher, and a loop that a handler runs
// meanwhile (a message box) waits as usual. Use it on the thread whose loop it turns.
class PacedEventTurn {
public:
    // nowNs is the caller's steady clock in nanoseconds, read once per file for all the pacing
    // of the window.
    void Turn(qint64 nowNs);

private:
    TurnPacer pacer_;
};

}  // namespace snapsift
