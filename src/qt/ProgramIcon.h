// The program's icon, a magnifying glass over a framed photo, in every size the resources hold.
#pragma once

#include <QIcon>

namespace snapsift {

QIcon ProgramIcon();

}  // namespace snapsift
