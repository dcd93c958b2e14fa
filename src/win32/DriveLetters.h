// The entries of the main window's drive list: the drive letters in order, each shown as
// "c: [label]" and searched through its prefix "c:".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace snapsift {

struct DriveLetter {
    std::wstring text;   // "c: [System]", or "a:" when the drive is not asked for a label
    std::string prefix;  // "c:"
};

// The drives of the system, read afresh. Fixed and RAM drives show their volume label, network
// drives the share they stand for; removable and optical drives are not asked anything, since
// asking an empty one can stall.
std::vector<DriveLetter> ListDriveLetters();

// The entry of the drive that holds folder ("C:\Work" holds "c:"), else the first; -1 for none.
int DriveIndexOf(const std::vector<DriveLetter>& drives, std::wstring_view folder);

}  // namespace snapsift
