// snapsift-cli and disk images: the list of an image's partitions, and the volumes that a scan
// of an image searches.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/DiskImage.h"
#include "scan/ScanHost.h"

namespace snapsift::cli {

struct ImageChoice {
    std::string file;              // the image's (first) file, as an absolute path
    std::optional<int> partition;  // --partition
    bool includeDeleted = false;
    bool profiles = false;         // profile mode; else folder mode with `folder`
    std::string folder;            // a path inside the volume, "\" or "/" separated
    bool carve = false;            // --carve: the unallocated space of each partition searched too
};

// An open image and the volumes a scan searches, for as long as the scan runs.
struct OpenImage {
    std::unique_ptr<DiskImage> disk;
    std::vector<std::unique_ptr<Volume>> volumes;
    ImageSource source;
    std::string sourceFolder;  // folder mode: the folder's path on its volume, ending in "\"
};

// Prints the partitions of an image: number, offset, size, file system and profile folders,
// and what the image lacks of a partition that runs past its end. The exit status: 0; 3 when
// damaged parts of the image (the missing part among them) were met on the way (said after the
// table); or 2 with a message on standard error.
int ListPartitions(const std::string& file);

// Opens the image and chooses its volumes: the partition asked for, or in profile mode every
// NTFS partition with a profile folder, or in folder mode the first NTFS partition that holds
// the folder; with carve, the unallocated space of each of them. False with the reason in `problem`. The image's warnings, and each partition that
// runs past its end, are said on standard error.
bool OpenForScan(const ImageChoice& choice, OpenImage& image, std::string& problem);

// --verify-image: reads all of the image's data once, before the scan, prints its digest and
// whether it is the one the image stores, and records that in image.source.facts for the
// report. Incomplete when it is not, or when damaged parts were met, or the data could not be
// read whole; Stopped when `stop` asked it to end (nothing recorded).
enum class DataCheckOutcome { Checked, Incomplete, Stopped };
DataCheckOutcome CheckImageData(OpenImage& image, const std::function<bool()>& stop);

}  // namespace snapsift::cli
