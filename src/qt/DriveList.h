// The volumes on offer in the drive list, read afresh at every call: on Windows the drive
// letters in their order (no drive is asked for its folders: an empty removable drive can stall
// the asking); elsewhere the searchable mounts, those holding profile folders first, the
// system's order otherwise. The rules are the window logic's (window/DriveRules.h).
#pragma once

#include <vector>

#include "window/DriveRules.h"

namespace snapsift {

std::vector<DriveEntry> ListDrives();

}  // namespace snapsift
