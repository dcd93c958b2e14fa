#include "qt/ProgramIcon.h"

namespace snapsift {

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/snapsift-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace snapsift
