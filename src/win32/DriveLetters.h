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

// For each entry, whether it is a fixed disk, and then the folders at its root (the others are
// not asked anything).
std::vector<DriveRootFolders> ReadDriveRoots(const std::vector<DriveEntry>& drives);

}  // namespace snapsift
