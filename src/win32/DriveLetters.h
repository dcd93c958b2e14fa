// The entries of the main window's drive list: the drive letters in order, each shown as
// "c: [label]" and searched through its prefix "c:" (window/DriveRules.h).
#pragma once

#include <vector>

#include "window/DriveRules.h"

namespace snapsift {

// The drives of the system, read afresh. Fixed and RAM drives show their volume label, network
// drives the share they stand for; removable and optical drives are not asked anything, since
// asking an empty one can stall.
std::vector<DriveEntry> ListDriveLetters();

}  // namespace snapsift
