// Disk images in the drive list: an image's partitions that a profile search can read, each an
// entry named as its report paths begin ("case.E01, partition 2 [NTFS]"), with its volume.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "volume/Volume.h"
#include "scan/ScanHost.h"

namespace snapsift {

struct ImageEntry {
    std::shared_ptr<const void> image;  // the image, kept while its entries are: its unallocated space is walked through it
    std::string text;
    std::unique_ptr<Volume> volume;
    ImageSource source;           // the image's facts and this entry's volume alone
    ImageSource withUnallocated;  // the same, then the unallocated space of the volume's partition
};

// False where the program is built without disk images.
bool DiskImagesReadable();

// One entry for each NTFS partition of the image at `path` that holds a profile folder, in
// partition order; deleted files are not listed. None, with the reason in `problem`, when the
// image cannot be read or has no such partition.
std::vector<std::unique_ptr<ImageEntry>> OpenImageEntries(const std::string& path, std::string& problem);

}  // namespace snapsift
