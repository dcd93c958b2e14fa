#include "qt/PacedEventTurn.h"

#include <QCoreApplication>

namespace snapsift {

void PacedEventTurn::Turn(qint64 nowNs) {
    if (nowNs - lastFullNs_ >= kFullTurnIntervalNs || nowNs < lastFullNs_) {
        lastFullNs_ = nowNs;
        QCoreApplication::processEvents();  // sends the posted events first
    } else {
        QCoreApplication::sendPostedEvents();
    }
}

}  // namespace snapsift
