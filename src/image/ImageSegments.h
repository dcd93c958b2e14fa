// The files of a disk image, found from its first file and checked before any of them is
// opened: each a regular file reached without a link, and the files of a split raw set of one
// size but the last, which may be shorter but not empty. A FIFO, a device, a folder or a link
// among them would hang the reads, feed them endless bytes or read outside the evidence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace snapsift {

struct ImageSegments {
    std::vector<std::string> files;  // the first file, then the others in the set's order
    bool ewf = false;                // an E01 set; else raw, split or not
    std::uint64_t bytes = 0;         // the sizes of all the files
};

// The image's files, each checked; false with a message naming the file at fault.
bool FindImageSegments(const std::string& first, ImageSegments& segments, std::string& problem);

// The name of segment `number` (2 and up) of a split raw set whose first file is `first`, in
// the numbered and lettered forms The Sleuth Kit knows (.001, _001, .000, _000, .01, _01, .00,
// _00, .aa, .aaa, xaa, .dmg, .bin); "" for a first name of no such form or a number past it.
std::string SplitSegmentName(const std::string& first, int number);

}  // namespace snapsift
