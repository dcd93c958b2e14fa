#include "qt/PacedEventTurn.h"

#include <QCoreApplication>

namespace snapsift {

void PacedEventTurn::Turn(qint64 nowNs) {
    if (pacer_.FullTurnDue(nowNs)) {
        QCoreApplication::processEvents();  // sends the posted events first
    } else {
        QCoreApplication::sendPostedEvents();
    }
}

}  // namespace snapsift
