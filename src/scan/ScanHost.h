// The seam between the scan run and whatever hosts it: the window logic, the terminal
// front-end or a test recorder. Settings, the two looks and the Yes/No question, over what
// the walk and the evidence entry need.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include <vector>

#include "image/UnallocatedSpace.h"
#include "report/ImageFacts.h"
#include "volume/Volume.h"
#include "search/SearchHost.h"

namespace snapsift {

// A disk image that a run searches instead of the live file system: what the report says of
// it, and the volumes of its partitions that are searched, in partition order.
struct ImageSource {
    ImageFacts facts;
    std::vector<Volume*> volumes;
    // The damaged parts of the image (read as zeros) that the reads have met so far, in the order
    // met: each one's offset in the image's data and its length. None when unset.
    std::function<std::vector<std::pair<std::uint64_t, std::uint64_t>>()> damagedParts;
    // The unallocated space of the partitions searched, read after their files for the cache
    // entries of deleted files; none unless asked for.
    std::vector<UnallocatedArea> unallocated;
};

class ScanHost : public SearchHost {
public:
    // Settings, read at the moment they are needed.
    virtual bool ProfileMode() const = 0;       // search the profile folders only
    virtual bool SearchSubfolders() const = 0;  // search the subfolders of the source folder too
    // The selected volume's prefix without a trailing separator: "c:" on Windows,
    // a mount point such as "/mnt/evidence" (or "" for "/") elsewhere.
    virtual std::string SelectedDriveRoot() const = 0;
    // The disk image to search, or nothing for the live file system. Profile mode searches the
    // profile folders of each of its volumes in turn; folder mode reads sourceFolder (a path
    // that begins with the volume's DriveRoot()) on the first.
    virtual const ImageSource* Image() const { return nullptr; }

    // The Yes/No question (true for Yes).
    virtual bool AskYesNo(std::string_view text) = 0;

    // The two looks of a host: running (true) or idle (false).
    virtual void SetRunningLook(bool running) = 0;
};

}  // namespace snapsift
